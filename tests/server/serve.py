"""`brivos serve` on a free port of 127.0.0.1, for the service's tests and benchmarks."""
import subprocess
import sys
import tempfile
import time


def requests_or_skip():
    """Python's requests, or the test exits 77 (skipped) when it is not installed."""
    try:
        import requests
    except ImportError:
        print("skipped: Python's requests is not installed (Debian: python3-requests)")
        sys.exit(77)
    return requests


def start(brivos, data, *extra, env=None, wait=20.0):
    """Starts `brivos --db-dir DATA serve` with `extra` options; returns the process, its url
    and its log (stderr, a temporary file) once it listens. Raises RuntimeError, the server
    stopped, when it does not listen within `wait` seconds."""
    log = tempfile.TemporaryFile("w+")
    proc = subprocess.Popen([brivos, "--db-dir", data, "serve", "--listen", "127.0.0.1:0",
                             *extra], stderr=log, stdout=subprocess.DEVNULL, env=env)
    deadline = time.monotonic() + wait
    while time.monotonic() < deadline and proc.poll() is None:
        log.seek(0)
        line = log.readline()
        if "listening on" in line:
            return proc, line.split()[-1], log
        time.sleep(0.05)
    proc.kill()
    proc.wait()
    log.seek(0)
    raise RuntimeError("the server did not start: " + log.read()[-2000:])
