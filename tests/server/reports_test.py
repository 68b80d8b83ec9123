"""Report statements (CReportMgr.ExecReportQuery) against a real `brivos serve`: one firm's
endless statements leave the service and the other firms answering, a second statement of
the firm meanwhile is turned away with 429, and a result past its ceiling is refused with 422
without the server's memory growing with it.

Usage: reports_test.py PATH_TO_BRIVOS. Exits 77 (skipped) when requests is missing.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import serve

requests = serve.requests_or_skip()

BRIVOS = sys.argv.pop(1)
DATA = tempfile.mkdtemp(prefix="brivos-reports-")
BUDGET = 6  # seconds a report statement may run (BRIVOS_REPORT_TIMEOUT)
# No end, and no row before the end: it runs for the whole time budget.
ENDLESS = "WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k) SELECT max(x) FROM k"


def brivos(*args):
    return subprocess.run([BRIVOS, "--db-dir", DATA, *args], check=True, capture_output=True)


def setUpModule():
    global srv, url, tokens
    brivos("init", "A1", "--company", "Acme", "--user", "admin", "--password", "secret")
    brivos("init", "B2", "--company", "Other", "--user", "admin", "--password", "secret2")
    env = dict(os.environ, BRIVOS_REPORT_TIMEOUT=str(BUDGET))
    srv, url, srv.log = serve.start(BRIVOS, DATA, env=env)
    tokens = {}
    for account, password in [("A1", "secret"), ("B2", "secret2")]:
        r = requests.post(url + "/v1/accounts/%s/sessions" % account,
                          json={"UserName": "admin", "Password": password}, timeout=15)
        assert r.status_code == 201, r.text
        tokens[account] = r.json()["Token"]


def tearDownModule():
    srv.send_signal(signal.SIGTERM)
    code = srv.wait(timeout=BUDGET + 15)
    srv.log.close()
    shutil.rmtree(DATA, ignore_errors=True)
    assert code == 0, "SIGTERM: exit status %d" % code


def report(account, sql):
    return requests.post(url + "/v1/accounts/%s/call/CReportMgr/ExecReportQuery" % account,
                         headers={"Authorization": "Bearer " + tokens[account]},
                         json={"sSQL": sql}, timeout=BUDGET + 30)


def resident_kib():
    with open("/proc/%d/status" % srv.pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS")


class ReportStatementTest(unittest.TestCase):
    def test_endless_statements_of_one_firm_hold_no_one_else(self):
        answers = []
        first = threading.Thread(target=lambda: answers.append(report("A1", ENDLESS)))
        first.start()
        time.sleep(0.5)  # the first one runs
        others = [threading.Thread(target=lambda: answers.append(report("A1", ENDLESS)))
                  for _ in range(3)]
        for t in others:
            t.start()
        for t in others:
            t.join()
        self.assertEqual([r.status_code for r in answers], [429] * 3, [r.text for r in answers])
        for r in answers:
            self.assertEqual(r.headers["Content-Type"], "application/problem+json")
            self.assertGreaterEqual(int(r.headers["Retry-After"]), 1)
            self.assertLessEqual(int(r.headers["Retry-After"]), BUDGET)
        # Meanwhile the service and the other firm answer at once; so does the firm's own
        # other work.
        for path, token in [("/v1/health", None), ("/v1/accounts/B2/me", tokens["B2"]),
                            ("/v1/accounts/A1/me", tokens["A1"])]:
            headers = {"Authorization": "Bearer " + token} if token else {}
            for _ in range(3):
                began = time.monotonic()
                r = requests.get(url + path, headers=headers, timeout=BUDGET + 30)
                self.assertEqual(r.status_code, 200, (path, r.text))
                self.assertLess(time.monotonic() - began, 1.0, path)
        self.assertTrue(first.is_alive(), "the endless statement ended before its budget")
        self.assertEqual(report("B2", "SELECT COUNT(*) AS n FROM IUser").json(),
                         {"result": [{"n": 1}]})
        first.join()
        ended = answers[-1]
        self.assertEqual(ended.status_code, 422, ended.text)
        self.assertEqual(ended.json()["number"], -2147217871)
        # The firm's turn is free again.
        self.assertEqual(report("A1", "SELECT COUNT(*) AS n FROM IUser").status_code, 200)

    def test_a_result_past_its_ceiling_is_refused_without_growing_the_server(self):
        before = resident_kib()
        text = "'" + "x" * 1000 + "'"
        r = report("A1", "WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k) "
                         "SELECT x, %s || x AS t FROM k" % text)
        self.assertEqual(r.status_code, 422, r.text[:500])
        self.assertEqual(r.json()["number"], -2147217871)
        self.assertIn("ceiling of 16777216 bytes", r.json()["detail"])
        # 16 MiB of values, held once; far from the gigabytes of an unbounded result.
        self.assertLess(resident_kib() - before, 128 * 1024)


if __name__ == "__main__":
    unittest.main()
