"""A firm's set-up through the service's routes against a real `brivos serve`: each kind
(tax codes, clients, projects, tasks, staff, users) added, read, changed in one field with
the rest kept, and deleted; the refusals of bad input; who may call them; a password change;
and an invoice approved, issued and deleted.

Usage: setup_test.py PATH_TO_BRIVOS. Exits 77 (skipped) when requests is missing.
"""
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import serve

requests = serve.requests_or_skip()

BRIVOS = sys.argv.pop(1)
DATA = tempfile.mkdtemp(prefix="brivos-setup-")
A = "/v1/accounts/A1"


def setUpModule():
    global srv, url, admin, bob
    subprocess.run([BRIVOS, "--db-dir", DATA, "init", "A1", "--company", "Acme", "--user",
                    "admin", "--password", "secret"], check=True, capture_output=True)
    srv = subprocess.Popen([BRIVOS, "--db-dir", DATA, "serve", "--listen", "127.0.0.1:0"],
                           stderr=subprocess.PIPE, text=True)
    url = srv.stderr.readline().split()[-1]
    admin = sign_in("admin", "secret")
    r = req("POST", "/users", admin, json=dict(USER, ProfileUserName="bob"))
    assert r.status_code == 201, r.text
    bob = sign_in("bob", "pw")


def tearDownModule():
    srv.send_signal(signal.SIGTERM)
    assert srv.wait(timeout=10) == 0
    shutil.rmtree(DATA, ignore_errors=True)


def req(method, path, token=None, **kw):
    headers = {"Authorization": "Bearer " + token} if token else {}
    return requests.request(method, url + A + path, headers=headers, timeout=15, **kw)


def sign_in(user, password):
    r = req("POST", "/sessions", json={"UserName": user, "Password": password})
    assert r.status_code == 201, r.text
    return r.json()["Token"]


def made(path, body, token=None):
    r = req("POST", path, token or admin, json=body)
    assert r.status_code == 201, (path, r.status_code, r.text)
    return r.json()


USER = dict(Password="pw", FirstName="Bob", LastName="Burns", Initial="", ReportsToID=None,
            Admin=False, vmProjectsAccess=0, MinWeekHours=40, EMail="", Rate=90, Cost=40,
            OTRate=120, OTCost=60, AllowLogon=True)
TAX = dict(TaxCode="H", Description="HST", Tax1Rate=5, Tax1Name="GST", Tax1Exempt=False,
           Tax2Rate=8, Tax2Name="PST", Tax2Exempt=False, Tax2PiggyBack=True, Inactive=False)
CLIENT = dict(CompanyName="Northwind", Address1="", Address2="", City="Halifax", Province="NS",
              PostalCode="", Country="", Telephone="", FAX="", Description="",
              BusinessNumber="", AccountNumber="")
PROJECT = dict(Name="Web", Description="", Status=2, StartDate="2024-03-01", EndDate=None,
               Billable=True, EstCost=0, EstRevenue=0, OTAllowed=True, TimeChunk=15)
TASK = dict(Name="Design", Description="", EffectiveDate="2024-03-01", Inactive=False,
            PlannedStart=None, PlannedDuration=0, PlannedFinish=None)


class SetupTest(unittest.TestCase):
    def fixtures(self):
        tax = made("/tax-codes", TAX)
        client = made("/clients", dict(CLIENT, TaxCode=tax["CITaxCodeID"]))
        project = made("/projects", dict(PROJECT, ClientID=client["SFAProspectID"]))
        return tax, client, project

    def test_each_kind_added_changed_in_one_field_and_deleted(self):
        tax, client, project = self.fixtures()
        pid = project["IProjectID"]
        bob_id = req("GET", "/me", bob).json()["IUserID"]
        # kind, where it is added, its body, its key, where one is, the change, a field kept
        cases = [
            ("tax code", "/tax-codes", TAX, "CITaxCodeID", "/tax-codes/%d", {"Tax2Rate": 7},
             "Tax2Name"),
            ("client", "/clients", dict(CLIENT, TaxCode=None), "SFAProspectID", "/clients/%d",
             {"Name": "Northwind Ltd"}, "City"),
            ("project", "/projects", dict(PROJECT, ClientID=client["SFAProspectID"]),
             "IProjectID", "/projects/%d", {"Billable": False}, "TimeChunk"),
            ("task", "/projects/%d/tasks" % pid, TASK, "IProjectTaskID", "/tasks/%d",
             {"Inactive": True}, "Name"),
            ("staff", "/projects/%d/staff" % pid,
             dict(UserID=bob_id, Rate=100, Cost=50, OTRate=150, OTCost=75), "IProjectStaffID",
             "/staff/%d", {"Rate": 110}, "OTRate"),
        ]
        for kind, where, body, key, one, change, kept in cases:
            with self.subTest(kind):
                row = made(where, body)
                listed = req("GET", where + "?per_page=1000", admin)
                self.assertEqual(listed.status_code, 200, listed.text)
                self.assertIn(row[key], [x[key] for x in listed.json()])
                path = one % row[key]
                r = req("PATCH", path, admin, json=change)
                self.assertEqual(r.status_code, 200, r.text)
                changed = r.json()
                self.assertEqual(changed[kept], row[kept])
                field, value = next(iter(change.items()))
                column = {"Name": "CompanyName"}.get(field, field) if kind == "client" else field
                self.assertEqual(float(changed[column]) if isinstance(value, int) and
                                 not isinstance(value, bool) else changed[column], value)
                self.assertEqual(req("DELETE", path, admin).status_code, 204)
                self.assertEqual(req("DELETE", path, admin).status_code, 404)

    def test_a_client_takes_the_firms_terms_unless_it_gives_its_own(self):
        r = req("PATCH", "/firm", admin, json={"DefaultTerms": "Net 15",
                                               "DefaultInvoiceNotes": "Thank you"})
        self.assertEqual(r.status_code, 200, r.text)
        self.assertEqual((r.json()["DefaultTerms"], r.json()["CompanyName"]), ("Net 15", "Acme"))
        self.assertEqual(made("/clients", CLIENT)["DefaultTerms"], "Net 15")
        self.assertEqual(made("/clients", dict(CLIENT, DefaultTerms="Net 60"))["DefaultTerms"],
                         "Net 60")

    def test_bad_input_is_refused_and_writes_nothing(self):
        tax, client, project = self.fixtures()
        before = len(req("GET", "/tax-codes", admin).json())
        cases = [
            ("POST", "/tax-codes", dict(TAX, TaxCode="HS"), 422),       # wider than its column
            ("POST", "/tax-codes", dict(TAX, Tax1Rate="five"), 422),    # not a number
            ("POST", "/tax-codes", dict(TAX, Colour="red"), 400),       # no such argument
            ("PATCH", "/tax-codes/%d" % tax["CITaxCodeID"], {"TaxCode": "XY"}, 422),
            ("PATCH", "/tax-codes/%d" % tax["CITaxCodeID"], {"TaxCodeID": 999}, 400),
            ("PATCH", "/tax-codes/999999", {"Tax1Rate": 1}, 404),
            ("PATCH", "/clients/%d" % client["SFAProspectID"], {"Province": "X" * 17}, 422),
            ("POST", "/projects", dict(PROJECT, ClientID=client["SFAProspectID"],
                                       StartDate="not a day"), 422),
            ("PATCH", "/projects/%d" % project["IProjectID"], {"Status": 99}, 422),
            ("POST", "/users", dict(USER, ProfileUserName="bob"), 409),  # the name is taken
            ("POST", "/users", dict(USER), 400),
            ("PUT", "/me/password", {"OldPassword": "secret"}, 400),
            ("DELETE", "/clients/abc", None, 404),
        ]
        for method, path, body, status in cases:
            with self.subTest(method=method, path=path, body=body):
                r = req(method, path, admin, json=body)
                self.assertEqual(r.status_code, status, r.text)
        after = req("GET", "/tax-codes", admin).json()
        self.assertEqual(len(after), before)
        self.assertEqual(req("GET", "/tax-codes/%d" % tax["CITaxCodeID"], admin).json()["TaxCode"],
                         "H")

    def test_a_plain_user_reads_the_firm_but_may_not_make_herself_administrator(self):
        # Every administrator's route refusing her is the service suite's table; here, her
        # own record is no way round it, and what anyone may read answers.
        me = req("GET", "/me", bob).json()
        self.assertEqual(req("PATCH", "/users/%d" % me["IUserID"], bob,
                             json={"Admin": True}).status_code, 403)
        for path in ["/firm", "/tax-codes"]:
            self.assertEqual(req("GET", path, bob).status_code, 200)

    def test_stopped_sign_in_and_a_password_change(self):
        carol = made("/users", dict(USER, ProfileUserName="carol", FirstName="Carol"))
        token = sign_in("carol", "pw")
        self.assertEqual(req("PUT", "/me/password", token,
                             json={"OldPassword": "wrong", "NewPassword": "x"}).status_code // 100,
                         4)
        self.assertEqual(req("PUT", "/me/password", token,
                             json={"OldPassword": "pw", "NewPassword": "n3w"}).status_code, 204)
        self.assertEqual(req("POST", "/sessions", json={"UserName": "carol", "Password": "pw"})
                         .status_code, 401)
        sign_in("carol", "n3w")
        r = req("PATCH", "/users/%d" % carol["IUserID"], admin, json={"AllowLogon": False})
        self.assertEqual((r.status_code, r.json()["AllowLogon"], r.json()["FirstName"]),
                         (200, False, "Carol"))
        self.assertEqual(req("POST", "/sessions", json={"UserName": "carol", "Password": "n3w"})
                         .status_code, 401)

    def test_an_invoice_approved_issued_and_deleted(self):
        tax, client, project = self.fixtures()
        pid = project["IProjectID"]
        task = made("/projects/%d/tasks" % pid, TASK)
        me = req("GET", "/me", admin).json()
        staff = made("/projects/%d/staff" % pid,
                     dict(UserID=me["IUserID"], Rate=100, Cost=50, OTRate=150, OTCost=75))

        def bill():
            slip = made("/time-entries", dict(
                ProjectID=pid, TaskID=task["IProjectTaskID"], StaffID=staff["IProjectStaffID"],
                TransDate="2024-03-04", StartHour=9, StartMinute=0, EndHour=10, EndMinute=0,
                Description="", Status=2, Error="", OverTime=False, StaffRate=100, StaffCost=50,
                OTRate=150, OTCost=75))
            r = req("POST", "/invoicing/runs", admin,
                    json={"CutoffDate": "2024-03-31", "Projects": [pid]})
            self.assertEqual(r.status_code, 201, r.text)
            return slip, r.json()[0]["IProjectInvoiceID"]

        slip, invoice = bill()
        for status in [1, 2]:
            r = req("PATCH", "/invoices/%d" % invoice, admin, json={"Status": status})
            self.assertEqual((r.status_code, r.json()["Status"]), (200, status), r.text)
        # Issued, it stays: neither changed nor deleted.
        self.assertEqual(req("PATCH", "/invoices/%d" % invoice, admin, json={"Status": 0})
                         .status_code, 409)
        self.assertEqual(req("DELETE", "/invoices/%d" % invoice, admin).status_code, 409)
        slip, trial = bill()
        self.assertEqual(req("GET", "/time-entries/%d" % slip["IProjectTransactionID"], admin)
                         .json()["Status"], 3)
        self.assertEqual(req("DELETE", "/invoices/%d" % trial, admin).status_code, 204)
        self.assertEqual(req("GET", "/time-entries/%d" % slip["IProjectTransactionID"], admin)
                         .json()["Status"], 2)
        self.assertEqual(req("GET", "/invoices/%d" % trial, admin).status_code, 404)

    def test_reports_and_the_export_of_slips(self):
        tax, client, project = self.fixtures()
        pid = project["IProjectID"]
        task = made("/projects/%d/tasks" % pid, dict(TASK, Name='Design, "first"'))
        me = req("GET", "/me", admin).json()
        staff = made("/projects/%d/staff" % pid,
                     dict(UserID=me["IUserID"], Rate=100, Cost=50, OTRate=150, OTCost=75))
        # day, start, stop, status, overtime: 7 h in two weeks, 4 of them approved
        for day, start, stop, status, overtime in [
                ("2025-06-02", 9, 12, 2, False), ("2025-06-03", 9, 10, 2, True),
                ("2025-06-10", 13, 16, 1, False)]:
            made("/time-entries", dict(
                ProjectID=pid, TaskID=task["IProjectTaskID"], StaffID=staff["IProjectStaffID"],
                TransDate=day, StartHour=start, StartMinute=0, EndHour=stop, EndMinute=0,
                Description="", Status=status, Error="", OverTime=overtime, StaffRate=100,
                StaffCost=50, OTRate=150, OTCost=75))
        span = "from=2025-06-01&to=2025-06-30"
        cases = [
            ("/reports/hours?by=project&" + span, [("Web", 7.0, "750.0000")]),
            ("/reports/hours?by=person&" + span, [("admin", 7.0, "750.0000")]),
            ("/reports/hours?by=week&" + span, [("2025-06-02", 4.0, "450.0000"),
                                              ("2025-06-09", 3.0, "300.0000")]),
            ("/reports/hours?by=project&from=2025-06-03&to=2025-06-03",
             [("Web", 1.0, "150.0000")]),
            ("/reports/unbilled?" + span, [("Web", 4.0, "450.0000")]),
        ]
        for path, want in cases:
            with self.subTest(path):
                r = req("GET", path, admin)
                self.assertEqual(r.status_code, 200, r.text)
                rows = [row for row in r.json() if row["Label"] in {w[0] for w in want}]
                self.assertEqual([(x["Label"], x["Hours"], x["Value"]) for x in rows], want)
        r = req("POST", "/invoicing/runs", admin, json={"CutoffDate": "2025-06-30", "Projects": [pid]})
        self.assertEqual(r.status_code, 201, r.text)
        invoice = r.json()[0]
        month = invoice["InvoiceDate"][:7]

        def invoiced():
            r = req("GET", "/reports/invoiced?from=%s-01&to=%s-28" % (month, month), admin)
            self.assertEqual(r.status_code, 200, r.text)
            row = next((x for x in r.json() if x["Key"] == month), {"Invoices": 0, "Value": "0"})
            return row["Invoices"], float(row["Value"])

        before = invoiced()  # a trial invoice is not counted
        req("PATCH", "/invoices/%d" % invoice["IProjectInvoiceID"], admin, json={"Status": 1})
        total = requests.post(url + A + "/call/CInvoiceMgr/GetInvoiceTotal", timeout=15,
                              headers={"Authorization": "Bearer " + admin},
                              json={"InvoiceID": invoice["IProjectInvoiceID"]}).json()["result"]
        after = invoiced()
        self.assertEqual((after[0] - before[0], round(after[1] - before[1], 4)), (1, float(total)))
        self.assertEqual(req("GET", "/reports/unbilled?" + span, admin).json(), [])

        r = req("GET", "/exports/time-entries?" + span, admin)
        self.assertEqual(r.headers["Content-Type"], "text/csv; charset=utf-8")
        lines = r.content.decode("utf-8").split("\r\n")
        self.assertEqual(lines[0], "Project,Task,Person,Date,Start,Stop,Hours,Status,Amount")
        self.assertIn('Web,"Design, ""first""",admin,2025-06-03,09:00,10:00,1.00,Billed,150',
                      lines)
        self.assertEqual(len([x for x in lines if x]), 4)
        # A consultant's reports and export are of her own slips; invoices are not hers.
        self.assertEqual(req("GET", "/reports/invoiced?" + span, bob).status_code, 403)
        for path in ["/reports/hours?" + span, "/reports/unbilled?" + span]:
            self.assertEqual(req("GET", path, bob).json(), [], path)
        self.assertEqual(req("GET", "/exports/time-entries?" + span, bob).content.count(b"\n"), 1)
        for bad in ["from=2025-06-30&to=2025-06-01", "from=2024-01-01&to=2025-06-01",
                    "from=x&to=2025-06-01", "by=client&" + span]:
            self.assertEqual(req("GET", "/reports/hours?" + bad, admin).status_code, 400, bad)


class StaticFilesTest(unittest.TestCase):
    def test_static_files_carry_a_validator_and_answer_304_to_it(self):
        web = tempfile.mkdtemp(prefix="brivos-web-")
        with open(web + "/app.js", "w") as f:
            f.write("'use strict';\n")
        server = subprocess.Popen([BRIVOS, "--db-dir", DATA, "serve", "--listen", "127.0.0.1:0",
                                   "--web-root", web], stderr=subprocess.PIPE, text=True)
        try:
            base = server.stderr.readline().split()[-1]
            first = requests.get(base + "/app.js", timeout=15)
            tag = first.headers["ETag"]
            self.assertEqual((first.status_code, first.headers["Cache-Control"]), (200, "no-cache"))
            cases = [(tag, 304, ""), ('"0-0.0"', 200, "'use strict';\n"), ("", 200, "'use strict';\n")]
            for sent, status, body in cases:
                r = requests.get(base + "/app.js", headers={"If-None-Match": sent} if sent else {},
                                 timeout=15)
                self.assertEqual((r.status_code, r.text), (status, body), sent)
            time.sleep(0.01)
            with open(web + "/app.js", "a") as f:
                f.write("// changed\n")
            r = requests.get(base + "/app.js", headers={"If-None-Match": tag}, timeout=15)
            self.assertEqual(r.status_code, 200)
            self.assertNotEqual(r.headers["ETag"], tag)
        finally:
            server.send_signal(signal.SIGTERM)
            self.assertEqual(server.wait(timeout=10), 0)
            shutil.rmtree(web, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
