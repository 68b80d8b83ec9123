"""`brivos serve` against clients that would wear it down: too many connections, a
descriptor table run dry, a reset after `Expect: 100-continue`, a call still running
when the service is asked to stop. Each server is a real process on a free port.

Usage: connections_test.py PATH_TO_BRIVOS.
"""
import http.client
import json
import os
import resource
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

BRIVOS = sys.argv.pop(1)
DATA = tempfile.mkdtemp(prefix="brivos-connections-")
A = "/v1/accounts/A1"
ENDLESS = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) SELECT count(*) FROM c"


class Server:
    """One `brivos serve` on a free port, optionally with a descriptor limit of `nofile`
    (soft and hard, so that it cannot raise it)."""

    def __init__(self, *extra, nofile=None):
        self.log = tempfile.TemporaryFile("w+")
        limit = None
        if nofile:
            def limit():
                resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))
        self.proc = subprocess.Popen([BRIVOS, "--db-dir", DATA, "serve", "--listen",
                                      "127.0.0.1:0", *extra], stderr=self.log, preexec_fn=limit)
        for _ in range(200):
            self.log.seek(0)
            line = self.log.readline()
            if "listening on" in line:
                host, port = line.split()[-1].removeprefix("http://").rsplit(":", 1)
                self.address = (host, int(port))
                return
            time.sleep(0.05)
        self.proc.kill()
        raise RuntimeError("the server did not start")

    def connection(self):
        return http.client.HTTPConnection(*self.address, timeout=15)

    def request(self, method, path, body=None, token=None, conn=None):
        """(status, headers, decoded body) of one request, on `conn` when given."""
        own = conn is None
        conn = conn or self.connection()
        headers = {"Content-Type": "application/json"}
        if token:
            headers["Authorization"] = "Bearer " + token
        try:
            conn.request(method, path, body=None if body is None else json.dumps(body),
                         headers=headers)
            r = conn.getresponse()
            data = r.read()
            return r.status, r.headers, json.loads(data) if data else None
        finally:
            if own:
                conn.close()

    def sign_in(self, account, user, password, conn=None):
        status, _, body = self.request("POST", "/v1/accounts/%s/sessions" % account,
                                       {"UserName": user, "Password": password}, conn=conn)
        assert status == 201, (status, body)
        return body["Token"]

    def raw(self):
        return socket.create_connection(self.address, timeout=10)

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        # utime and stime, fields 14 and 15 of the line.
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def text(self):
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        code = self.proc.wait(timeout=20)
        self.log.close()
        return code


def reset(sock):
    """Closes `sock` with a reset instead of an orderly end."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def setUpModule():
    for account, company in [("A1", "Acme"), ("B2", "Other")]:
        subprocess.run([BRIVOS, "--db-dir", DATA, "init", account, "--company", company,
                        "--user", "admin", "--password", "secret"], check=True,
                       capture_output=True)


def tearDownModule():
    shutil.rmtree(DATA, ignore_errors=True)


class ConnectionsTest(unittest.TestCase):
    def serve(self, *extra, nofile=None):
        srv = Server(*extra, nofile=nofile)
        self.addCleanup(srv.stop)
        return srv

    def test_a_slow_reader_gets_its_answers_whole_and_is_not_taken_for_idle(self):
        # A small receive window: the answer is far larger than the socket takes at
        # once, and the client reads nothing for longer than the idle timeout.
        srv = self.serve("--idle-timeout", "1s")
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 2048)
        s.settimeout(10)
        s.connect(srv.address)
        s.sendall(b"GET /v1/openapi.json HTTP/1.1\r\nHost: x\r\n\r\n"
                  b"GET /v1/health HTTP/1.1\r\nHost: x\r\n\r\n")
        time.sleep(2.5)
        data = b""
        answers = []
        while len(answers) < 2:
            chunk = s.recv(65536)
            self.assertTrue(chunk, "closed after %d answers" % len(answers))
            data += chunk
            while b"\r\n\r\n" in data:
                head, rest = data.split(b"\r\n\r\n", 1)
                length = int(head.lower().split(b"content-length: ")[1].split(b"\r\n")[0])
                if len(rest) < length:
                    break
                answers.append((head.split(b"\r\n")[0], json.loads(rest[:length])))
                data = rest[length:]
        self.assertEqual([a[0] for a in answers], [b"HTTP/1.1 200 OK"] * 2)
        self.assertIn("paths", answers[0][1])
        self.assertGreater(len(json.dumps(answers[0][1])), 20 * 2048)
        time.sleep(2.5)  # now idle: closed
        self.assertEqual(s.recv(100), b"")
        s.close()

    def test_past_the_ceiling_a_connection_is_answered_503_until_one_closes(self):
        srv = self.serve("--max-connections", "3")
        held = [srv.connection() for _ in range(3)]
        for conn in held:
            self.assertEqual(srv.request("GET", "/v1/health", conn=conn)[0], 200)
        status, headers, body = srv.request("GET", "/v1/health")
        self.assertEqual(status, 503)
        self.assertEqual(headers["Retry-After"], "1")
        self.assertEqual(headers["Content-Type"], "application/problem+json")
        self.assertEqual(body["status"], 503)
        # The held connections are still served.
        self.assertEqual(srv.request("GET", "/v1/health", conn=held[0])[0], 200)
        held.pop().close()
        for _ in range(100):
            if srv.request("GET", "/v1/health")[0] == 200:
                break
            time.sleep(0.02)
        else:
            self.fail("a closed connection did not make room for another")
        for conn in held:
            conn.close()

    def test_a_reset_after_expect_100_continue_leaves_the_server_serving(self):
        srv = self.serve()
        head = ("POST %s/sessions HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
                "Content-Length: 100\r\nExpect: 100-continue\r\n\r\n" % A).encode()
        # The reset must arrive before the server's "100 Continue": tried many times.
        for _ in range(50):
            sock = srv.raw()
            sock.sendall(head)
            reset(sock)
        time.sleep(0.2)
        self.assertIsNone(srv.proc.poll(), srv.text()[-2000:])
        self.assertEqual(srv.request("GET", "/v1/health")[0], 200)
        # And a client that waits for the 100 goes on with its body.
        sock = srv.raw()
        body = json.dumps({"UserName": "admin", "Password": "secret"}).encode()
        sock.sendall(head.replace(b"Length: 100", b"Length: %d" % len(body)))
        self.assertTrue(sock.recv(4096).startswith(b"HTTP/1.1 100 Continue\r\n"))
        sock.sendall(body)
        self.assertTrue(sock.recv(4096).startswith(b"HTTP/1.1 201 "))
        sock.close()

    def test_running_out_of_descriptors_costs_no_spin_and_the_server_recovers(self):
        # A ceiling above the descriptor limit: the clients exhaust the table.
        srv = self.serve("--max-connections", "10000", nofile=48)
        clients = []
        for _ in range(80):
            clients.append(srv.raw())
        time.sleep(0.3)
        self.assertIn("accepting a connection failed", srv.text())
        before = srv.cpu_seconds()
        time.sleep(2)
        used = srv.cpu_seconds() - before
        self.assertLess(used, 0.3, "the server spun: %.2f CPU-seconds in 2 s" % used)
        for sock in clients:
            sock.close()
        for _ in range(100):
            try:
                if srv.request("GET", "/v1/health")[0] == 200:
                    break
            except OSError:
                pass
            time.sleep(0.05)
        else:
            self.fail("the server did not recover: " + srv.text()[-2000:])

    def test_the_default_ceiling_keeps_descriptors_for_the_firms_databases(self):
        srv = self.serve(nofile=256)
        first, second = srv.connection(), srv.connection()
        token = srv.sign_in("A1", "admin", "secret", conn=first)
        self.assertEqual(srv.request("GET", "/v1/health", conn=second)[0], 200)
        flood = []
        for _ in range(300):
            try:
                flood.append(srv.raw())
            except OSError:
                break
        time.sleep(0.3)
        self.assertIn("new ones are answered 503", srv.text())
        # Another firm's database opens, and the first firm's calls go on.
        srv.sign_in("B2", "admin", "secret", conn=second)
        status, _, body = srv.request("GET", A + "/me", token=token, conn=first)
        self.assertEqual(status, 200, body)
        for sock in flood:
            sock.close()
        first.close()
        second.close()

    def test_a_500_is_logged_with_its_route_and_what_failed(self):
        srv = self.serve()
        token = srv.sign_in("A1", "admin", "secret")
        # An expense on a report that does not exist cannot be deleted (91).
        status, _, body = srv.request("POST", A + "/call/CProjectMgr/AddExpense", dict(
            ReportID=999, ProjectID=1, ExpenseDate="2024-01-01", PONumber="", InvoiceNumber="",
            Amount=1, Markup=0, Description="", Approved=False, StaffID=1, ExpenseType=0,
            ExchangeRate=1, PaymentType=0, Establishment="", City="", Route="", Distance=0,
            Rate=0, TaxCodeID=0), token=token)
        self.assertEqual(status, 200, body)
        status, _, _ = srv.request("POST", A + "/call/CProjectMgr/DeleteExpense",
                                   {"ExpenseID": body["result"]}, token=token)
        self.assertEqual(status, 500)
        lines = [l for l in srv.text().splitlines() if l.startswith("brivos serve: failed ")]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("POST /v1/accounts/{account}/call/{Class}/{Method}: error 91", lines[0])
        self.assertNotIn(token, lines[0])

    def test_sigterm_interrupts_a_long_call_and_exits_within_the_grace_and_a_second(self):
        srv = self.serve("--shutdown-grace", "1s")
        token = srv.sign_in("A1", "admin", "secret")
        answers = []

        def endless():
            try:
                answers.append(srv.request("POST", A + "/call/CReportMgr/ExecReportQuery",
                                           {"sSQL": ENDLESS}, token=token)[0])
            except OSError as e:
                answers.append(e)

        caller = threading.Thread(target=endless)
        caller.start()
        time.sleep(0.5)  # the statement is running
        self.assertEqual(answers, [])
        began = time.monotonic()
        srv.proc.send_signal(signal.SIGTERM)
        code = srv.proc.wait(timeout=10)
        took = time.monotonic() - began
        caller.join(timeout=10)
        self.assertEqual(code, 0)
        # A grace of 1 s, a second more for the interrupted call, and the slack of a
        # loaded machine.
        self.assertLess(took, 2.5, srv.text()[-2000:])
        self.assertGreater(took, 0.9)
        # The call was interrupted and its worker ended: no exit without it.
        self.assertIn("interrupting the calls still running", srv.text())
        self.assertIn("brivos serve: stopped\n", srv.text())


if __name__ == "__main__":
    unittest.main(verbosity=2)
