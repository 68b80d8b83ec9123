"""The report routes and the CSV export of slips against a firm of 100 people with 100,000
and 1,000,000 slips in one year: the time of each route summing the whole year (median of
its rounds, an administrator's and a consultant's), and the server's resident memory over
idle while one client downloads the year's slips as CSV.

The firm is made through the service (users, clients, projects, tasks); its staff rows and
slips are written in one transaction of INSERTs, on files with Python's sqlite3 and on
PostgreSQL with psql, straight into the firm's tables.

On PostgreSQL the database is vacuumed and analysed after the load, as autovacuum leaves it
after a bulk load: without it the planner knows nothing of the new rows, and every update of a
slip's week row leaves a dead row version behind for the reads to step over.

Usage: reports_bench.py PATH_TO_BRIVOS [PATH_TO_PG_CLUSTER_SH] [ROUNDS] [BACKENDS] (a Release
build). Without the cluster script the firm is a file only; BACKENDS ("files", "PostgreSQL",
comma-separated) keeps some of them.
"""
import os
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import requests

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "server"))
import serve as service  # noqa: E402  (the tests' own start of the service)

BRIVOS = sys.argv[1]
CLUSTER = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else None
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
ONLY = sys.argv[4].split(",") if len(sys.argv) > 4 else None
A = "/v1/accounts/A1"
PEOPLE, PROJECTS, FIRST_DAY = 100, 20, 45658  # 2025-01-01
YEAR = "from=2025-01-01&to=2025-12-31"
PSQL = "/usr/lib/postgresql/15/bin/psql"


def serve(data, env):
    proc, url, _ = service.start(BRIVOS, data, env=env, wait=40.0)
    return proc, url


def stop(proc):
    proc.terminate()
    proc.wait(timeout=30)


def token(url, user, password):
    r = requests.post(url + A + "/sessions", json={"UserName": user, "Password": password},
                      timeout=15)
    assert r.status_code == 201, r.text
    return {"Authorization": "Bearer " + r.json()["Token"]}


def firm(data, env):
    """The firm's people, clients, projects and tasks, made through the service."""
    subprocess.run([BRIVOS, "--db-dir", data, "init", "A1", "--company", "Acme", "--user",
                    "admin", "--password", "secret"], check=True, capture_output=True, env=env)
    proc, url = serve(data, env)
    auth = token(url, "admin", "secret")

    def made(path, body):
        r = requests.post(url + A + path, json=body, headers=auth, timeout=15)
        assert r.status_code == 201, r.text
        return r.json()

    for i in range(PEOPLE - 1):
        made("/users", dict(ProfileUserName="u%03d" % i, Password="pw", FirstName="First%d" % i,
                            LastName="Last", Initial="", ReportsToID=None, Admin=False,
                            vmProjectsAccess=0, MinWeekHours=40, EMail="", Rate=90, Cost=40,
                            OTRate=120, OTCost=60, AllowLogon=True))
    clients = [made("/clients", dict(
        CompanyName="Client %d" % i, Address1="", Address2="", City="", Province="",
        PostalCode="", Country="", Telephone="", FAX="", Description="", BusinessNumber="",
        AccountNumber="", TaxCode=None))["SFAProspectID"] for i in range(4)]
    for i in range(PROJECTS):
        pid = made("/projects", dict(
            Name="Project %d" % i, Description="", Status=2, StartDate="2025-01-01",
            EndDate=None, Billable=True, EstCost=0, EstRevenue=0, OTAllowed=True, TimeChunk=15,
            ClientID=clients[i % 4]))["IProjectID"]
        made("/projects/%d/tasks" % pid, dict(
            Name="Task, \"%d\"" % i, Description="", EffectiveDate="2025-01-01", Inactive=False,
            PlannedStart=None, PlannedDuration=0, PlannedFinish=None))
    stop(proc)


# Every person on every project, then `n` slips spread over the year's days, people and
# projects, a seventh of them overtime, half approved.
STAFF_SQL = """INSERT INTO IProjectStaff (Parent, Rate, Cost, OTRate, OTCost, CreateDate, UserID)
SELECT p.IProjectID, 80 + (u.IUserID % 7) * 5, 40, 130, 60, 45658, u.IUserID
FROM IProject p CROSS JOIN IUser u"""
SLIPS_SQL = """INSERT INTO IProjectTransaction (Parent, TransDate, StartTime, StopTime,
  Description, StaffRate, StaffCost, OTCost, OTRate, Error, Status, OverTime, TaskID, StaffID)
SELECT s.Parent, %(day)s, %(day)s + (480 + g.i %% 120) / 1440.0 + 1 / 86400.0,
  %(day)s + (540 + g.i %% 300) / 1440.0 + 1 / 86400.0, 'Slip ' || g.i, s.Rate, s.Cost, s.OTCost,
  s.OTRate, '', 1 + g.i %% 2, CASE WHEN g.i %% 7 = 0 THEN 1 ELSE 0 END,
  (SELECT MIN(IProjectTaskID) FROM IProjectTask k WHERE k.Parent = s.Parent), s.IProjectStaffID
FROM %(numbers)s
  INNER JOIN IProjectStaff s ON s.IProjectStaffID = %(staff0)d + ((g.i %% 100003) * 7919) %% %(staff)d"""


def schemas(env):
    """The firms' schemas (none before the first firm makes the list)."""
    return set(subprocess.run([PSQL, env["BRIVOS_DATABASE_URL"], "-Atc",
                               "SELECT schema_name FROM brivos.subscriber"],
                              capture_output=True, text=True).stdout.split())


def seed(data, env, n, schema):
    """Staff rows and `n` slips written in one transaction."""
    if schema:
        run = lambda sql: subprocess.run(  # noqa: E731
            [PSQL, env["BRIVOS_DATABASE_URL"], "-v", "ON_ERROR_STOP=1", "-Atc",
             "SET search_path TO %s, brivos; %s" % (schema, sql)],
            check=True, capture_output=True, text=True).stdout.strip().splitlines()[-1]
        numbers = "generate_series(0, %d) AS g(i)" % (n - 1)
    else:
        db = sqlite3.connect(os.path.join(data, "A1.mdb"))
        run = lambda sql: "\n".join(  # noqa: E731
            "|".join(str(v) for v in row) for row in db.execute(sql).fetchall())
        numbers = "(WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM c " \
                  "WHERE i < %d) SELECT i FROM c) g" % (n - 1)
    run(STAFF_SQL)
    staff0, staff = map(int, run("SELECT MIN(IProjectStaffID), COUNT(*) FROM IProjectStaff")
                        .split("|"))
    day = "(%d + (g.i * 365) / %d)" % (FIRST_DAY, n)
    began = time.monotonic()
    run(SLIPS_SQL % dict(numbers=numbers, day=day, staff0=staff0, staff=staff))
    if schema:
        seeded = time.monotonic() - began
        subprocess.run([PSQL, env["BRIVOS_DATABASE_URL"], "-c", "VACUUM ANALYZE"], check=True,
                       capture_output=True)
    else:
        db.commit()
        db.close()
        seeded = time.monotonic() - began
    return seeded


def timed(url, auth, path):
    times = []
    for _ in range(ROUNDS):
        began = time.monotonic()
        r = requests.get(url + A + path, headers=auth, timeout=120)
        times.append((time.monotonic() - began) * 1000)
        assert r.status_code == 200, (path, r.status_code, r.text[:300])
    return statistics.median(times)


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def export_memory(proc, url, auth):
    """The resident memory over idle while the year's slips download as CSV, and its size."""
    requests.get(url + A + "/reports/hours?by=project&from=2025-01-01&to=2025-01-07",
                 headers=auth, timeout=60)
    idle = resident_kib(proc.pid)
    peak = [idle]
    done = threading.Event()

    def watch():
        while not done.is_set():
            peak[0] = max(peak[0], resident_kib(proc.pid))
            time.sleep(0.01)
    watcher = threading.Thread(target=watch)
    watcher.start()
    began = time.monotonic()
    size = 0
    with requests.get(url + A + "/time-entries?" + YEAR, headers=dict(auth, Accept="text/csv"),
                      stream=True, timeout=600) as r:
        assert r.status_code == 200, r.text[:300]
        for part in r.iter_content(65536):
            size += len(part)
    seconds = time.monotonic() - began
    done.set()
    watcher.join()
    return (peak[0] - idle) / 1024, size / 1e6, seconds


def main():
    backends = [("files", {})]
    cluster_dir = None
    if CLUSTER:
        cluster_dir = tempfile.mkdtemp(prefix="brivos-bench-pg-")
        url = subprocess.run(["bash", CLUSTER, "start", cluster_dir], check=True,
                             capture_output=True, text=True).stdout.strip().splitlines()[-1]
        backends.append(("PostgreSQL", {"BRIVOS_DATABASE_URL": url}))
    routes = [("a month by project", "/reports/hours?by=project&from=2025-03-01&to=2025-03-31"),
              ("hours by project", "/reports/hours?by=project&" + YEAR),
              ("hours by person", "/reports/hours?by=person&" + YEAR),
              ("hours by week", "/reports/hours?by=week&" + YEAR),
              ("hours of a client", "/reports/hours?by=project&client=1&" + YEAR),
              ("unbilled", "/reports/unbilled?" + YEAR)]
    if ONLY:
        backends = [b for b in backends if b[0] in ONLY]
    try:
        for backend, extra in backends:
            env = dict(os.environ, **extra)
            for n in [100000, 1000000]:
                data = tempfile.mkdtemp(prefix="brivos-bench-rep-")
                # Each size's firm has a schema of its own, named after its directory too.
                before = schemas(env) if extra else set()
                firm(data, env)
                schema = (schemas(env) - before).pop() if extra else None
                seeded = seed(data, env, n, schema)
                proc, url = serve(data, env)
                admin = token(url, "admin", "secret")
                own = token(url, "u000", "pw")
                print("%s, %d slips (seeded in %.1f s):" % (backend, n, seeded))
                for label, path in routes:
                    print("  %-18s administrator %7.1f ms   consultant %6.1f ms" % (
                        label, timed(url, admin, path), timed(url, own, path)))
                if n == 1000000:
                    grown, mb, seconds = export_memory(proc, url, admin)
                    print("  CSV export of the year: %.1f MB in %.1f s; RSS over idle %.1f MB" % (
                        mb, seconds, grown))
                stop(proc)
                shutil.rmtree(data, ignore_errors=True)
    finally:
        if cluster_dir:
            subprocess.run(["bash", CLUSTER, "stop", cluster_dir], capture_output=True)
            shutil.rmtree(cluster_dir, ignore_errors=True)


if __name__ == "__main__":
    main()
