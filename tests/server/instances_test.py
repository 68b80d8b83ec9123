"""Two `brivos serve` processes on one PostgreSQL database, clients alternating between them:
a sign-out on one is seen by the other, the sign-in throttle counts refusals on both, and
invoice runs on both at once make consecutive numbers and bill every line once.

Usage: instances_test.py PATH_TO_BRIVOS (BRIVOS_DATABASE_URL names the database). Exits 77
(skipped) when requests is missing.
"""
import datetime
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

import serve

requests = serve.requests_or_skip()

BRIVOS = sys.argv[1]
DATA = tempfile.mkdtemp(prefix="brivos-instances-")
TODAY = datetime.date.today().isoformat()
A = "/v1/accounts/A1"
PROJECTS = 6


def start():
    proc, url, _ = serve.start(BRIVOS, DATA)
    return proc, url


def sign_in(url, user, password):
    return requests.post(url + A + "/sessions", json={"UserName": user, "Password": password},
                         timeout=15)


subprocess.run([BRIVOS, "--db-dir", DATA, "init", "A1", "--company", "Acme", "--user", "admin",
                "--password", "secret"], check=True, capture_output=True)
servers = []
try:
    servers = [start(), start()]
    urls = [url for _, url in servers]

    def call(i, token, cls, method, **args):
        r = requests.post("%s%s/call/%s/%s" % (urls[i % 2], A, cls, method), json=args,
                          headers={"Authorization": "Bearer " + token}, timeout=30)
        assert r.status_code == 200, (cls, method, r.status_code, r.text)
        return r.json().get("result")

    # A sign-out on one instance ends the session on the other.
    r = sign_in(urls[0], "admin", "secret")
    assert r.status_code == 201, r.text
    admin = r.json()["Token"]
    auth = {"Authorization": "Bearer " + admin}
    assert requests.get(urls[1] + A + "/me", headers=auth, timeout=15).status_code == 200
    call(0, admin, "CUserManager", "AddUserProfile", ProfileUserName="eve", Password="pw",
         FirstName="eve", LastName="", Initial="", ReportsToID=None, Admin=False,
         vmProjectsAccess=0, MinWeekHours=40, EMail="", Rate=0, Cost=0, OTRate=0, OTCost=0,
         AllowLogon=True)
    eve = sign_in(urls[1], "eve", "pw").json()["Token"]
    eve_auth = {"Authorization": "Bearer " + eve}
    assert requests.get(urls[0] + A + "/me", headers=eve_auth, timeout=15).status_code == 200
    assert requests.delete(urls[0] + A + "/sessions/current", headers=eve_auth,
                           timeout=15).status_code == 204
    assert requests.get(urls[1] + A + "/me", headers=eve_auth, timeout=15).status_code == 401

    # Refused sign-ins alternating between the instances are counted together.
    statuses = [sign_in(urls[i % 2], "eve", "wrong").status_code for i in range(6)]
    assert statuses == [401] * 5 + [429], statuses

    # Projects with approved work, invoiced by a run on each instance at once.
    admin_id = requests.get(urls[0] + A + "/me", headers=auth, timeout=15).json()["IUserID"]
    client = call(1, admin, "CCIMgr", "AddClient", CompanyName="Northwind", Address1="",
                  Address2="", City="", Province="", PostalCode="", Country="", Telephone="",
                  FAX="", Description="", BusinessNumber="", TaxCode=0, AccountNumber="",
                  DefaultTerms="Net 30")
    slips = 0
    for p in range(PROJECTS):
        project = call(p, admin, "CProjectMgr", "AddProject", Name="P%d" % p, Description="",
                       Status=2, StartDate="2024-03-01", EndDate="", Billable=True, EstCost=0,
                       EstRevenue=0, OTAllowed=True, TimeChunk=15, ClientID=client,
                       ManagerID=admin_id)
        task = call(p + 1, admin, "CProjectMgr", "AddTask", ProjectID=project, Name="T",
                    Description="", EffectiveDate="2024-03-01", Inactive=False,
                    PlannedStart=None, PlannedDuration=0, PlannedFinish=None)
        call(p, admin, "CProjectMgr", "AddStaff", ProjectID=project, UserID=admin_id, Rate=100,
             Cost=50, OTRate=150, OTCost=75)
        for n in range(3):
            r = requests.post(urls[n % 2] + A + "/time-entries", headers=auth, timeout=15,
                              json=dict(ProjectID=project, TransDate=TODAY, StartHour=0,
                                        StartMinute=0, EndHour=0, EndMinute=30, Description="w",
                                        Status=1, Error="", TaskID=task, OverTime=False))
            assert r.status_code == 201, r.text
            entry = r.json()["IProjectTransactionID"]
            r = requests.put(urls[(n + 1) % 2] + A + "/time-entries/%d/status" % entry,
                             headers=auth, json={"Status": 2}, timeout=15)
            assert r.status_code == 200, r.text
            slips += 1

    runs = [None, None]

    def run(i):
        runs[i] = requests.post(urls[i] + A + "/invoicing/runs", headers=auth,
                                json={"CutoffDate": TODAY}, timeout=60)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    made = []
    for r in runs:
        assert r.status_code == 201, r.text
        made += r.json()
    assert len(made) == PROJECTS, made
    assert len({inv["ProjectID"] for inv in made}) == PROJECTS, made
    numbers = sorted(int(inv["InvoiceNumber"]) for inv in made)
    assert numbers == list(range(numbers[0], numbers[0] + PROJECTS)), numbers
    trial = call(0, admin, "CInvoiceMgr", "GetTrialInvoices")
    assert len(trial) == PROJECTS, trial
    billed = 0
    for inv in trial:
        billed += len(call(1, admin, "CInvoiceMgr", "GetInvoiceTransactions",
                           InvoiceID=inv["IProjectInvoiceID"]))
    assert billed == slips, (billed, slips)
finally:
    codes = []
    for proc, _ in servers:
        proc.send_signal(signal.SIGTERM)
        codes.append(proc.wait(timeout=15))
    shutil.rmtree(DATA, ignore_errors=True)
assert codes == [0, 0], codes
print("instances: ok")
