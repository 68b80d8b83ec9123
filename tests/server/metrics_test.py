"""`brivos serve` scraped at /metrics after a few requests: promtool accepts the page, the
counters moved by what was asked, and no token, user name or account number shows.

Usage: metrics_test.py PATH_TO_BRIVOS. Exits 77 (skipped) when promtool or requests is missing.
"""
import datetime
import re
import shutil
import signal
import subprocess
import sys
import tempfile

import serve

requests = serve.requests_or_skip()
if shutil.which("promtool") is None:
    print("skipped: promtool is not installed (Debian: prometheus)")
    sys.exit(77)

BRIVOS, DATA = sys.argv[1], tempfile.mkdtemp(prefix="brivos-metrics-")
ACCOUNT, USER, PASSWORD = "Q7731", "mallory", "secret"  # looked for in the page
SESSIONS = 'route="/v1/accounts/{account}/sessions"'
# What each sample moves by, between a scrape before and one after the requests below.
MOVES = {
    'brivos_http_requests_total{method="POST",%s,status="201"}' % SESSIONS: 1,
    'brivos_http_requests_total{method="POST",%s,status="401"}' % SESSIONS: 5,
    'brivos_http_requests_total{method="POST",%s,status="429"}' % SESSIONS: 1,
    'brivos_http_requests_total{method="POST",route="/v1/accounts/{account}/call/{Class}/{Method}",'
    'status="200"}': 1,
    'brivos_http_request_duration_seconds_count{%s}' % SESSIONS: 7,
    'brivos_http_request_duration_seconds_bucket{%s,le="+Inf"}' % SESSIONS: 7,
    "brivos_sign_ins_refused_total": 5,
    "brivos_sign_ins_throttled_total": 1,
    'brivos_invoice_runs_total{result="ok"}': 1,
    "brivos_invoice_run_duration_seconds_count": 1,
    'brivos_http_requests_total{method="GET",route="/metrics",status="200"}': 1,
}


def value(page, sample):
    found = re.search("^" + re.escape(sample) + r" (\S+)$", page, re.M)
    return float(found.group(1)) if found else 0.0


subprocess.run([BRIVOS, "--db-dir", DATA, "init", ACCOUNT, "--company", "Acme", "--user", USER,
                "--password", PASSWORD], check=True, capture_output=True)
server, url, log = serve.start(BRIVOS, DATA)
try:
    base = "%s/v1/accounts/%s" % (url, ACCOUNT)
    before = requests.get(url + "/metrics", timeout=15).text
    token = requests.post(base + "/sessions", json={"UserName": USER, "Password": PASSWORD},
                          timeout=15).json()["Token"]
    refusals = [requests.post(base + "/sessions", json={"UserName": USER, "Password": "wrong"},
                              timeout=15).status_code for _ in range(6)]
    assert refusals == [401] * 5 + [429], refusals
    run = requests.post(base + "/call/CInvoiceMgr/InvoiceAllProjects", timeout=15,
                        headers={"Authorization": "Bearer " + token},
                        json={"CutoffDate": datetime.date.today().isoformat()})
    assert run.status_code == 200, run.text
    scrape = requests.get(url + "/metrics", timeout=15)
    page = scrape.text
    assert scrape.headers["Content-Type"].startswith("text/plain; version=0.0.4"), scrape.headers

    lint = subprocess.run(["promtool", "check", "metrics"], input=page, text=True,
                          capture_output=True)
    assert lint.returncode == 0, lint.stdout + lint.stderr + page
    moved = {s: value(page, s) - value(before, s) for s in MOVES}
    assert moved == MOVES, (moved, page)
    assert value(page, "brivos_http_open_connections") >= 1, page
    # The pool of SQLite files, or of PostgreSQL connections.
    assert value(page, "brivos_pool_files") >= 1, page
    assert value(page, 'brivos_pool_connections{state="idle"}') >= 1, page
    assert 1 <= value(page, "brivos_pool_connections_max"), page
    for secret in (token, ACCOUNT, USER, PASSWORD):
        assert secret.lower() not in page.lower(), (secret, page)
finally:
    server.send_signal(signal.SIGTERM)
    code = server.wait(timeout=15)
    shutil.rmtree(DATA, ignore_errors=True)
assert code == 0, "SIGTERM: exit status %d" % code
print("metrics: ok")
