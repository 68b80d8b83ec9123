"""`brivos serve` on a PostgreSQL cluster of its own that is restarted while clients keep
asking: requests may fail while the server is down, none that started after it was back.

Usage: restart_test.py PATH_TO_BRIVOS PATH_TO_PG_CLUSTER_SH. Exits 77 (skipped) when requests or
PostgreSQL 15 is missing.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import serve

requests = serve.requests_or_skip()

BRIVOS, CLUSTER = sys.argv[1], sys.argv[2]
ACCOUNT, USER, PASSWORD = "R100", "admin", "secret"
CLIENTS = 4

cluster = tempfile.mkdtemp(prefix="brivos-pgr-", dir="/tmp")
started = subprocess.run(["bash", CLUSTER, "start", cluster], capture_output=True, text=True)
if started.returncode == 3:
    print("skipped: " + started.stderr.strip())
    sys.exit(77)
assert started.returncode == 0, started.stderr
env = dict(os.environ, BRIVOS_DATABASE_URL=started.stdout.strip())
data = tempfile.mkdtemp(prefix="brivos-restart-")
server = None
try:
    subprocess.run([BRIVOS, "--db-dir", data, "init", ACCOUNT, "--company", "Acme", "--user", USER,
                    "--password", PASSWORD], check=True, capture_output=True, env=env)
    server, url, log = serve.start(BRIVOS, data, env=env)
    base = "%s/v1/accounts/%s" % (url, ACCOUNT)
    token = requests.post(base + "/sessions", json={"UserName": USER, "Password": PASSWORD},
                          timeout=15).json()["Token"]
    headers = {"Authorization": "Bearer " + token}

    answers = []  # (when the request started, status or the client's error)
    stop = threading.Event()

    def client():
        with requests.Session() as http:
            while not stop.is_set():
                began = time.monotonic()
                try:
                    status = http.get(base + "/me", headers=headers, timeout=15).status_code
                except requests.RequestException as e:
                    status = repr(e)
                answers.append((began, status))

    threads = [threading.Thread(target=client) for _ in range(CLIENTS)]
    for t in threads:
        t.start()
    time.sleep(1.0)
    bounced = subprocess.run(["bash", CLUSTER, "bounce", cluster], capture_output=True, text=True)
    back = time.monotonic()
    time.sleep(1.5)
    stop.set()
    for t in threads:
        t.join()
    assert bounced.returncode == 0, bounced.stderr

    after = [status for began, status in answers if began >= back]
    assert len(after) >= 20, "too few requests after the restart: %d" % len(after)
    failed = [status for status in after if status != 200]
    assert not failed, "%d of %d requests after the restart failed: %s" % (
        len(failed), len(after), sorted(set(map(str, failed))))
    # Every connection of the pool, idle or in use, within its bound.
    page = requests.get(url + "/metrics", timeout=15).text
    figures = {}
    for row in page.splitlines():
        if row.startswith("brivos_pool_") and " " in row:
            name, value = row.rsplit(" ", 1)
            figures[name] = float(value)
    assert figures.get('brivos_pool_connections{state="idle"}', 0) >= 1, page
finally:
    if server is not None:
        server.send_signal(signal.SIGTERM)
        server.wait(timeout=15)
    subprocess.run(["bash", CLUSTER, "stop", cluster], capture_output=True)
    shutil.rmtree(data, ignore_errors=True)
print("restart: ok, %d requests after the restart" % len(after))
