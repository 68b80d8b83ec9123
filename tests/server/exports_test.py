"""Reports summed in the database and CSV exports made as they are written, against a real
`brivos serve`: the figures equal the sums of each slip's own minutes and rate, a consultant
sees her own only, fields are quoted as RFC 4180 says, an export of many rows in parts equals
the slips listed one by one, and slow or vanishing readers hurt no one else.

Usage: exports_test.py PATH_TO_BRIVOS. Exits 77 (skipped) when requests is missing.
"""
import csv
import io
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from collections import defaultdict
from datetime import date, timedelta
from urllib.parse import urlparse

import serve

requests = serve.requests_or_skip()

BRIVOS = sys.argv.pop(1)
DATA = tempfile.mkdtemp(prefix="brivos-exports-")
A = "/v1/accounts/A1"
SPAN = "from=2025-03-01&to=2025-04-30"
MANY = 2300  # rows of the large export: more than two parts
http = requests.Session()


def req(method, path, token, **kw):
    headers = dict(kw.pop("headers", {}), Authorization="Bearer " + token)
    return http.request(method, url + A + path, headers=headers, timeout=60, **kw)


def made(path, body, token):
    r = req("POST", path, token, json=body)
    assert r.status_code == 201, (path, r.status_code, r.text)
    return r.json()


def sign_in(user, password):
    r = http.post(url + A + "/sessions", json={"UserName": user, "Password": password}, timeout=15)
    assert r.status_code == 201, r.text
    return r.json()["Token"]


def slip_body(project, staff, day, start, stop, status, overtime, rate, ot_rate, task):
    return dict(ProjectID=project, TaskID=task, StaffID=staff, TransDate=day.isoformat(),
                StartHour=start // 60, StartMinute=start % 60, EndHour=stop // 60,
                EndMinute=stop % 60, Description="", Status=status, Error="", OverTime=overtime,
                StaffRate=rate, StaffCost=1, OTCost=1, OTRate=ot_rate)


def setUpModule():
    global srv, log, url, admin, tokens, users, slips, projects, clients, tasks
    subprocess.run([BRIVOS, "--db-dir", DATA, "init", "A1", "--company", "Acme", "--user",
                    "admin", "--password", "secret"], check=True, capture_output=True)
    srv, url, log = serve.start(BRIVOS, DATA)  # log: the access log, a line a request
    admin = sign_in("admin", "secret")
    users, tokens = {}, {}
    for name, first in [("bob", "Bob"), ("carol", "")]:
        users[name] = made("/users", dict(
            ProfileUserName=name, Password="pw", FirstName=first, LastName="Ng", Initial="",
            ReportsToID=None, Admin=False, vmProjectsAccess=0, MinWeekHours=40, EMail="",
            Rate=1, Cost=1, OTRate=1, OTCost=1, AllowLogon=True), admin)["IUserID"]
        tokens[name] = sign_in(name, "pw")
    users["admin"] = req("GET", "/me", admin).json()["IUserID"]
    clients, projects, tasks = {}, {}, {}
    for client in ["North", "South"]:
        clients[client] = made("/clients", dict(
            CompanyName=client, Address1="", Address2="", City="", Province="", PostalCode="",
            Country="", Telephone="", FAX="", Description="", BusinessNumber="",
            AccountNumber="", TaxCode=None), admin)["SFAProspectID"]
    for name, client in [("Web, \"new\"", "North"), ("Audit", "South"), ("Ops", "South")]:
        projects[name] = (made("/projects", dict(
            Name=name, Description="", Status=2, StartDate="2025-01-01", EndDate=None,
            Billable=True, EstCost=0, EstRevenue=0, OTAllowed=True, TimeChunk=1,
            ClientID=clients[client]), admin)["IProjectID"], client)
        tasks[name] = made("/projects/%d/tasks" % projects[name][0], dict(
            Name="Work", Description="", EffectiveDate="2025-01-01", Inactive=False,
            PlannedStart=None, PlannedDuration=0, PlannedFinish=None), admin)["IProjectTaskID"]
    # A small firm's two months: each person on each project at rates of their own.
    rnd = random.Random(7)
    slips = []
    for person in ["admin", "bob", "carol"]:
        for name, (pid, client) in projects.items():
            rate, ot_rate = rnd.choice([80, 95.5, 120.25]), rnd.choice([0, 150, 133.33])
            staff = made("/projects/%d/staff" % pid, dict(
                UserID=users[person], Rate=rate, Cost=1, OTRate=ot_rate, OTCost=1),
                admin)["IProjectStaffID"]
            for _ in range(6):
                day = date(2025, 3, 1) + timedelta(days=rnd.randrange(61))
                start = rnd.randrange(6 * 60, 14 * 60)
                stop = start + rnd.randrange(1, 9 * 60)
                slip = dict(person=person, project=name, client=client, day=day,
                            minutes=stop - start, status=rnd.choice([1, 2]),
                            overtime=rnd.random() < 0.3, rate=rate, ot_rate=ot_rate)
                made("/time-entries", slip_body(pid, staff, day, start, stop, slip["status"],
                                                slip["overtime"], rate, ot_rate, tasks[name]),
                     admin)
                slips.append(slip)
    # Outside the span: never counted.
    made("/time-entries", slip_body(pid, staff, date(2025, 5, 1), 600, 660, 2, False, 100, 0,
                                    tasks[name]), admin)


def tearDownModule():
    srv.send_signal(signal.SIGTERM)
    assert srv.wait(timeout=15) == 0
    log.close()
    shutil.rmtree(DATA, ignore_errors=True)


def value(slip):
    return (slip["ot_rate"] if slip["overtime"] else slip["rate"]) * slip["minutes"] / 60


def monday(day):
    return (day - timedelta(days=day.weekday())).isoformat()


def expected(keep, key):
    sums = defaultdict(lambda: [0, 0.0])
    for s in slips:
        if keep(s):
            sums[key(s)][0] += s["minutes"]
            sums[key(s)][1] += value(s)
    return {k: (m, round(v, 4)) for k, (m, v) in sums.items()}


def got(rows):
    return {r["Label"]: (r["Minutes"], round(float(r["Value"]), 4)) for r in rows}


class FiguresTest(unittest.TestCase):
    def test_reports_are_the_sums_of_each_slips_own_figures(self):
        names = {"admin": "admin", "bob": "Bob Ng", "carol": "Ng"}
        web = projects['Web, "new"'][0]
        cases = [
            ("hours?by=project", lambda s: True, lambda s: s["project"]),
            ("hours?by=person", lambda s: True, lambda s: names[s["person"]]),
            ("hours?by=week", lambda s: True, lambda s: monday(s["day"])),
            ("unbilled?", lambda s: s["status"] == 2, lambda s: s["project"]),
            ("hours?by=person&client=%d" % clients["South"], lambda s: s["client"] == "South",
             lambda s: names[s["person"]]),
            ("hours?by=week&project=%d" % web, lambda s: s["project"] == 'Web, "new"',
             lambda s: monday(s["day"])),
            ("hours?by=project&userId=%d" % users["carol"], lambda s: s["person"] == "carol",
             lambda s: s["project"]),
        ]
        for path, keep, key in cases:
            with self.subTest(path):
                r = req("GET", "/reports/%s&%s" % (path, SPAN), admin)
                self.assertEqual(r.status_code, 200, r.text)
                self.assertEqual(got(r.json()), expected(keep, key))
                for row in r.json():
                    self.assertEqual(row["Hours"], round(row["Minutes"] / 60, 2))

    def test_a_consultant_sees_her_own_only(self):
        for path, key in [("hours?by=project", lambda s: s["project"]),
                          ("hours?by=week", lambda s: monday(s["day"])),
                          ("unbilled?", lambda s: s["project"])]:
            with self.subTest(path):
                r = req("GET", "/reports/%s&%s" % (path, SPAN), tokens["bob"])
                self.assertEqual(r.status_code, 200, r.text)
                keep = (lambda s: s["person"] == "bob" and s["status"] == 2) if "unbilled" in path \
                    else (lambda s: s["person"] == "bob")
                self.assertEqual(got(r.json()), expected(keep, key))
        other = "userId=%d&%s" % (users["carol"], SPAN)
        for path in ["/reports/hours?by=project&" + other, "/reports/unbilled?" + other,
                     "/exports/time-entries?" + other, "/time-entries?" + other,
                     "/expenses?" + other]:
            with self.subTest(path):
                r = req("GET", path, tokens["bob"], headers={"Accept": "text/csv"})
                self.assertEqual(r.status_code, 403, r.text)
        self.assertEqual(req("GET", "/reports/invoiced?" + SPAN, tokens["bob"]).status_code, 403)
        r = req("GET", "/time-entries?" + SPAN, tokens["bob"], headers={"Accept": "text/csv"})
        rows = list(csv.DictReader(io.StringIO(r.content.decode("utf-8"))))
        self.assertEqual({row["Person"] for row in rows}, {"Bob Ng"})
        self.assertEqual(len(rows), len([s for s in slips if s["person"] == "bob"]))

    def test_csv_fields_are_quoted(self):
        pid = projects["Audit"][0]
        text = 'Taxi, "late"\nback'
        made("/expenses", dict(ExpenseDate="2025-03-05", Amount=12.5, Description=text,
                               ProjectID=pid, ExpenseType=21, ExchangeRate=1.25),
             tokens["carol"])
        r = req("GET", "/expenses?" + SPAN, tokens["carol"], headers={"Accept": "text/csv"})
        self.assertEqual((r.status_code, r.headers["Content-Type"]),
                         (200, "text/csv; charset=utf-8"))
        self.assertIn(b'"Taxi, ""late""\nback"', r.content)
        rows = list(csv.reader(io.StringIO(r.content.decode("utf-8"), newline="")))
        self.assertEqual(rows, [
            ["Project", "Person", "Date", "Type", "Description", "Amount", "ExchangeRate",
             "Status"],
            ["Audit", "Ng", "2025-03-05", "Taxi", text, "12.5", "1.25", "Open"]])
        r = req("GET", "/time-entries?" + SPAN, admin, headers={"Accept": "text/csv"})
        self.assertIn(b'"Web, ""new"""', r.content)


def raw_request(path, token, version="1.1"):
    """A socket with a CSV export asked for on it."""
    where = urlparse(url)
    s = socket.create_connection((where.hostname, where.port), timeout=30)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.sendall(("GET %s%s HTTP/%s\r\nHost: x\r\nAccept: text/csv\r\nAuthorization: Bearer %s\r\n"
               "Connection: close\r\n\r\n" % (A, path, version, token)).encode())
    return s


def read_all(s):
    data = b""
    while True:
        part = s.recv(65536)
        if not part:
            s.close()
            return data
        data += part


def dechunk(data):
    head, _, body = data.partition(b"\r\n\r\n")
    out = b""
    while True:
        size, _, body = body.partition(b"\r\n")
        n = int(size, 16)
        if n == 0:
            return head, out
        out += body[:n]
        assert body[n:n + 2] == b"\r\n"
        body = body[n + 2:]


class StreamedTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        pid = made("/projects", dict(
            Name="Bulk", Description="", Status=2, StartDate="2025-01-01", EndDate=None,
            Billable=True, EstCost=0, EstRevenue=0, OTAllowed=True, TimeChunk=1,
            ClientID=clients["North"]), admin)["IProjectID"]
        task = made("/projects/%d/tasks" % pid, dict(
            Name="Work", Description="", EffectiveDate="2025-01-01", Inactive=False,
            PlannedStart=None, PlannedDuration=0, PlannedFinish=None), admin)["IProjectTaskID"]
        staff = made("/projects/%d/staff" % pid, dict(
            UserID=users["admin"], Rate=61, Cost=1, OTRate=0, OTCost=1), admin)["IProjectStaffID"]
        for i in range(MANY):
            made("/time-entries", slip_body(pid, staff, date(2025, 6, 1) + timedelta(days=i % 30),
                                            480 + i % 300, 500 + i % 300 + i % 97, 1, False, 61, 0,
                                            task), admin)
        cls.path = "/time-entries?from=2025-06-01&to=2025-06-30"

    def test_an_export_in_parts_equals_the_slips_one_by_one(self):
        r = req("GET", self.path, admin, headers={"Accept": "text/csv"})
        self.assertEqual(r.headers.get("Transfer-Encoding"), "chunked")
        lines = r.content.decode("utf-8").split("\r\n")
        listed = []
        for page in range(1, 4):
            listed += req("GET", self.path + "&per_page=1000&page=%d" % page, admin).json()
        listed.sort(key=lambda s: s["IProjectTransactionID"])

        def line(s):
            minutes = round((time_of(s["StopTime"]) - time_of(s["StartTime"])) / 60)
            return "Bulk,Work,admin,%s,%s,%s,%.2f,Complete,%s" % (
                s["TransDate"][:10], s["StartTime"][11:16], s["StopTime"][11:16], minutes / 60,
                ("%.4f" % (61 * minutes / 60)).rstrip("0").rstrip("."))
        self.assertEqual(len(listed), MANY)
        self.assertEqual(lines, ["Project,Task,Person,Date,Start,Stop,Hours,Status,Amount"] +
                         [line(s) for s in listed] + [""])
        # HTTP/1.0 knows no chunks: the same body, ended by the connection's end.
        head, _, body = read_all(raw_request(self.path, admin, "1.0")).partition(b"\r\n\r\n")
        self.assertNotIn(b"chunked", head)
        self.assertIn(b"Connection: close", head)
        self.assertEqual(body, r.content)
        # A small one is answered whole.
        r = req("GET", "/time-entries?" + SPAN, tokens["bob"], headers={"Accept": "text/csv"})
        self.assertIn("Content-Length", r.headers)

    def test_slow_and_vanishing_readers_hurt_no_one(self):
        slow = raw_request(self.path, admin)
        first = slow.recv(1024)
        self.assertIn(b"Transfer-Encoding: chunked", first)
        # Readers that leave mid-answer.
        for _ in range(5):
            gone = raw_request(self.path, admin)
            gone.recv(2048)
            gone.close()
        for path in ["/reports/hours?by=week&" + SPAN, "/me"]:
            began = time.monotonic()
            self.assertEqual(req("GET", path, admin).status_code, 200)
            self.assertLess(time.monotonic() - began, 2.0, path)
        data = first
        while True:
            part = slow.recv(1024)
            if not part:
                break
            data += part
            time.sleep(0.0005)
        slow.close()
        head, body = dechunk(data)
        whole = req("GET", self.path, admin, headers={"Accept": "text/csv"}).content
        self.assertEqual(body, whole)
        self.assertEqual(req("GET", "/me", admin).status_code, 200)


def time_of(text):
    h, m, s = text[11:19].split(":")
    return int(h) * 3600 + int(m) * 60 + int(s)


if __name__ == "__main__":
    unittest.main()
