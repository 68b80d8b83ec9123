"""The service on PostgreSQL against the service on files, same requests, same client: wrk on
`GET .../me` (reads) and `POST .../time-entries` (writes), rounds interleaved; the database round trips a
read request makes (PostgreSQL's count of transactions over the run, each statement outside a
unit of work being one); and two instances of the service on the one PostgreSQL database
against one, the same connections split between them.

Both services run `--threads 2`; the PostgreSQL firm is driven a second time through a service
of `--threads PG_THREADS` (default 8) workers: a worker waiting on the database's answer holds no
core, so a service on PostgreSQL needs more of them than cores to keep the cores busy.

Usage: backends_bench.py PATH_TO_BRIVOS PATH_TO_PG_CLUSTER_SH [ROUNDS] [SECONDS] [PG_THREADS]
(a Release build). Needs wrk and PostgreSQL 15; starts a private cluster and stops it.
"""
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import requests

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "server"))
import serve as service  # noqa: E402  (the tests' own start of the service)

BRIVOS, CLUSTER = sys.argv[1], sys.argv[2]
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
SECONDS = int(sys.argv[4]) if len(sys.argv) > 4 else 5
PG_THREADS = int(sys.argv[5]) if len(sys.argv) > 5 else 8
A = "/v1/accounts/A1"
TODAY = datetime.date.today().isoformat()
PSQL = "/usr/lib/postgresql/15/bin/psql"


def serve(data, env, threads=2):
    proc, url, _ = service.start(BRIVOS, data, "--threads", str(threads), env=env)
    return proc, url


def firm(data, env):
    """A firm with one project, task and staff row of its administrator; the service, its url,
    a token and the Lua script that posts a slip."""
    subprocess.run([BRIVOS, "--db-dir", data, "init", "A1", "--company", "Acme", "--user",
                    "admin", "--password", "secret"], check=True, capture_output=True, env=env)
    proc, url = serve(data, env)
    token = requests.post(url + A + "/sessions", json={"UserName": "admin", "Password": "secret"},
                          timeout=15).json()["Token"]
    auth = {"Authorization": "Bearer " + token}

    def call(cls, method, **args):
        r = requests.post("%s%s/call/%s/%s" % (url, A, cls, method), json=args, headers=auth,
                          timeout=15)
        assert r.status_code == 200, r.text
        return r.json()["result"]

    me = requests.get(url + A + "/me", headers=auth, timeout=15).json()["IUserID"]
    project = call("CProjectMgr", "AddProject", Name="Web", Description="", Status=2,
                   StartDate="2024-03-01", EndDate="", Billable=True, EstCost=0, EstRevenue=0,
                   OTAllowed=True, TimeChunk=15, ClientID=0, ManagerID=me)
    task = call("CProjectMgr", "AddTask", ProjectID=project, Name="T", Description="",
                EffectiveDate="2024-03-01", Inactive=False, PlannedStart=None, PlannedDuration=0,
                PlannedFinish=None)
    call("CProjectMgr", "AddStaff", ProjectID=project, UserID=me, Rate=100, Cost=50, OTRate=150,
         OTCost=75)
    lua = os.path.join(data, "post.lua")
    with open(lua, "w") as f:
        f.write('wrk.method = "POST"\nwrk.headers["Content-Type"] = "application/json"\n'
                'wrk.body = \'{"ProjectID": %d, "TransDate": "%s", "StartHour": 0, '
                '"StartMinute": 0, "EndHour": 0, "EndMinute": 30, "Description": "w", '
                '"Status": 1, "Error": "", "TaskID": %d, "OverTime": false}\'\n'
                % (project, TODAY, task))
    return proc, url, token, lua


def wrk_start(url, token, path, lua=None, threads=2, connections=32):
    args = ["wrk", "--latency", "-t%d" % threads, "-c%d" % connections, "-d%ds" % SECONDS,
            "-H", "Authorization: Bearer " + token]
    if lua:
        args += ["-s", lua]
    return subprocess.Popen(args + [url + A + path], stdout=subprocess.PIPE, text=True)


def wrk_result(run):
    out = run.communicate()[0]
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    p50 = re.search(r"50%\s+([\d.]+)(us|ms|s)", out)
    scale = {"us": 0.001, "ms": 1, "s": 1000}[p50.group(2)]
    requests_done = int(re.search(r"(\d+) requests in", out).group(1))
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    assert not errors, out
    return rate, float(p50.group(1)) * scale, requests_done


def wrk(url, token, path, lua=None):
    return wrk_result(wrk_start(url, token, path, lua))


def wrk_split(urls, token, path, lua=None):
    """The same 32 connections split between the instances at `urls`: the summed rate and the
    worst instance's p50."""
    runs = [wrk_start(u, token, path, lua, threads=1, connections=32 // len(urls)) for u in urls]
    results = [wrk_result(r) for r in runs]
    return sum(r for r, _, _ in results), max(p for _, p, _ in results)


def transactions(uri):
    out = subprocess.run([PSQL, uri, "-Atc", "SELECT xact_commit + xact_rollback FROM "
                          "pg_stat_database WHERE datname = current_database()"],
                         capture_output=True, text=True, check=True).stdout
    return int(out.strip())


cluster = tempfile.mkdtemp(prefix="brivos-pgb-", dir="/tmp")
uri = subprocess.run(["bash", CLUSTER, "start", cluster], capture_output=True, text=True,
                     check=True).stdout.strip()
dirs = [tempfile.mkdtemp(prefix="brivos-bench-files-"), tempfile.mkdtemp(prefix="brivos-bench-pg-")]
envs = [{k: v for k, v in os.environ.items() if k != "BRIVOS_DATABASE_URL"},
        dict(os.environ, BRIVOS_DATABASE_URL=uri)]
services = []
try:
    services = [firm(d, e) for d, e in zip(dirs, envs)]
    # The same PostgreSQL firm, session and script through a service of more workers.
    services.append(serve(dirs[1], envs[1], PG_THREADS) + services[1][2:])
    wide = "postgresql-t%d" % PG_THREADS
    names = ["files", "postgresql", wide]
    results = {}
    for _ in range(ROUNDS):
        for name, (proc, url, token, lua) in zip(names, services):
            if name == "postgresql":
                # A server process left idle reports its counts within ten seconds: the other
                # services' transactions are all in before the count starts.
                time.sleep(10.5)
            before = transactions(uri) if name == "postgresql" else 0
            rate, p50, n = wrk(url, token, "/me")
            if name == "postgresql":
                time.sleep(1.5)  # the server's statistics are written within a second
                results.setdefault("trips", []).append((transactions(uri) - before - 1) / n)
            results.setdefault((name, "GET /me"), []).append((rate, p50))
            results.setdefault((name, "POST /time-entries"), []).append(
                wrk(url, token, "/time-entries", lua)[:2])
    for (what) in ["GET /me", "POST /time-entries"]:
        for name in names:
            runs = results[(name, what)]
            print("%-20s %-15s req/s %s  p50 ms %s" % (
                what, name, ", ".join("%.0f" % r for r, _ in runs),
                ", ".join("%.2f" % p for _, p in runs)))
        for name in names[1:]:
            ratios = [pg[0] / f[0] for pg, f in zip(results[(name, what)],
                                                     results[("files", what)])]
            print("%-20s %s/files %s" % (what, name,
                                         ", ".join("%.0f%%" % (100 * r) for r in ratios)))
    print("database round trips per GET /me on PostgreSQL: %s" % ", ".join(
        "%.2f" % t for t in results["trips"]))
    # Two instances on the one PostgreSQL database against the one, the same 32 connections
    # split between them.
    pg_proc, pg_url, token, lua = services[1]
    second = serve(dirs[1], envs[1])
    services.append(second + (token, lua))
    for what, path, script in [("GET /me", "/me", None), ("POST /time-entries", "/time-entries", lua)]:
        one, two = [], []
        for _ in range(ROUNDS):
            one.append(wrk_result(wrk_start(pg_url, token, path, script))[:2])
            two.append(wrk_split([pg_url, second[1]], token, path, script))
        print("%-20s one instance  req/s %s  p50 ms %s" % (
            what, ", ".join("%.0f" % r for r, _ in one), ", ".join("%.2f" % p for _, p in one)))
        print("%-20s two instances req/s %s  p50 ms %s" % (
            what, ", ".join("%.0f" % r for r, _ in two), ", ".join("%.2f" % p for _, p in two)))
finally:
    for proc, *_ in services:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=15)
    subprocess.run(["bash", CLUSTER, "stop", cluster], capture_output=True)
    for d in dirs:
        shutil.rmtree(d, ignore_errors=True)
