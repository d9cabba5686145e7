"""Transport faults between the worker and the status server, each over HTTP
and HTTPS: whatever the network does, the worker ends with the driver's
outcome (failures printed, then "Success" or five failures), exits with 0
and never delivers a report twice."""

import os
import subprocess
import threading
import unittest

from harness import (ACCEPTED, WORKER, StatusServer, decode_console, drip, job_args, run_worker, unused_port)

COM_FAILS = {"WORKER_COINIT_RESULT": "0x80004005"}
PREFIX = "Failed to initialize COM.\r\n"
FAILURE = "Soap failure. "
# A run of five failed attempts with the pauses cut to nothing and a
# one-second transfer limit ends well within this.
RUN_LIMIT = 60

HTML_500 = (b"HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: 40\r\n"
            b"Connection: close\r\n\r\n<html><body>Internal error</body></html>")
TRANSPORTS = (("http", "0", False), ("https", "1", True))


def failure_texts(console):
    """The fault texts of the failed attempts and whether the run ended in
    "Success"; fails the test when the console is not the driver's."""
    assert console.startswith(PREFIX), console
    rest = console[len(PREFIX):]
    succeeded = rest.endswith("Success")
    if succeeded:
        rest = rest[:-len("Success")]
    parts = rest.split(FAILURE)
    assert parts[0] == "", console
    return parts[1:], succeeded


class FaultMatrix(unittest.TestCase):
    def check_outcome(self, run, failures, succeeded, text=None):
        self.assertEqual(run.returncode, 0)
        texts, ended_in_success = failure_texts(run.text)
        self.assertEqual(len(texts), failures, run.text)
        self.assertEqual(ended_in_success, succeeded, run.text)
        for fault in texts:
            # The fault text, or the word (null) where the runtime recorded
            # only an error code (an end of input, a time limit).
            self.assertTrue(fault, run.text)
            if text is not None:
                self.assertEqual(fault, text)
        return texts

    def check_delivered_once(self, server):
        self.assertEqual(len(server.requests), 1)
        report = server.requests[0].report()
        self.assertEqual((report["nSystemID"], report["nPatchID"], report["nJobID"], report["nStatus"]),
                         ("7", "9", "42", "-6"))
        self.assertTrue(report["strErrorDescription"].startswith("Failed to initialize COM library."))

    def test_connection_refused(self):
        for name, selector, _ in TRANSPORTS:
            with self.subTest(name):
                run = run_worker(job_args(unused_port(), transport=selector), env=COM_FAILS, timeout=RUN_LIMIT)
                texts = self.check_outcome(run, 5, False)
                self.assertEqual(len(set(texts)), 1, texts)

    def test_server_that_never_completes_its_reply(self):
        # Silent, or never silent but never done: each attempt ends at the
        # one-second transfer limit (over TLS the runtime then waits up to 5 s
        # more for the server's closing message); the third one is answered.
        stalls = (("silent", "silent"),
                  ("dripping content", drip(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", b"<")),
                  ("endless 100 Continue", drip(b"", b"HTTP/1.1 100 Continue\r\n\r\n")))
        for name, selector, tls in TRANSPORTS:
            for stall_name, stall in stalls:
                with self.subTest(name + ", " + stall_name), StatusServer([stall] * 2, tls=tls) as server:
                    run = run_worker(job_args(server.port, transport=selector),
                                     env=dict(COM_FAILS, WORKER_TRANSFER_TIMEOUT="1"), timeout=RUN_LIMIT)
                    self.check_outcome(run, 2, True)
                    self.assertEqual(len(server.requests), 3)

    def test_reset_in_the_middle_of_the_reply(self):
        partial = ("reset after", b"HTTP/1.1 202 Acc")
        for name, selector, tls in TRANSPORTS:
            with self.subTest(name), StatusServer([partial] * 5, tls=tls) as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS, timeout=RUN_LIMIT)
                self.check_outcome(run, 5, False)
                self.assertEqual(len(server.requests), 5)

    def test_reset_then_accepted(self):
        for name, selector, tls in TRANSPORTS:
            with self.subTest(name), StatusServer([("reset after", b"HTTP/1.1 2")], tls=tls) as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS, timeout=RUN_LIMIT)
                self.check_outcome(run, 1, True)
                self.assertEqual(len(server.requests), 2)

    def test_500_carrying_html(self):
        for name, selector, tls in TRANSPORTS:
            with self.subTest(name), StatusServer([HTML_500] * 5, tls=tls) as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS, timeout=RUN_LIMIT)
                self.check_outcome(run, 5, False, text="HTTP Error")

    def test_tls_to_a_plain_http_port(self):
        with StatusServer() as server:
            run = run_worker(job_args(server.port, transport="1"), env=COM_FAILS, timeout=RUN_LIMIT)
        self.check_outcome(run, 5, False)
        self.assertEqual(server.requests, [])

    def test_plain_http_to_a_tls_port(self):
        with StatusServer(tls=True) as server:
            run = run_worker(job_args(server.port, transport="0"), env=COM_FAILS, timeout=RUN_LIMIT)
        self.check_outcome(run, 5, False)
        self.assertEqual(server.requests, [])

    def test_refused_three_times_then_accepted(self):
        # The port is bound but not listening, so connecting is refused. Once
        # the third failure is on the console the server starts listening;
        # the pause after a failure is cut to 6 s, time enough for that even
        # on a loaded machine.
        for name, selector, tls in TRANSPORTS:
            with self.subTest(name), StatusServer(tls=tls, listening=False) as server:
                env = dict(os.environ, WORKER_SLEEP_SCALE="0.1", **COM_FAILS)
                proc = subprocess.Popen([WORKER] + job_args(server.port, transport=selector), env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
                timer = threading.Timer(RUN_LIMIT, proc.kill)
                timer.start()
                try:
                    raw = b""
                    while decode_console(raw[:len(raw) // 2 * 2]).count(FAILURE) < 3:
                        chunk = proc.stdout.read1(4096)
                        if not chunk:
                            break
                        raw += chunk
                    server.listen()
                    raw += proc.stdout.read()
                    proc.wait()
                finally:
                    timer.cancel()
                    proc.stdout.close()
                run = type("Run", (), {"returncode": proc.returncode, "text": decode_console(raw)})
                texts = self.check_outcome(run, 3, True)
                self.assertEqual(len(set(texts)), 1, texts)
                self.check_delivered_once(server)

    def test_every_fault_once_then_accepted(self):
        # One job meets a reset, a silent server, an HTML error and a reply
        # broken inside its status line in turn; the fifth attempt delivers
        # the report, and it is acknowledged exactly once.
        script = ["reset", "silent", HTML_500, ("reset after", b"HTTP/1.1 202 Acc"), ACCEPTED]
        for name, selector, tls in TRANSPORTS:
            with self.subTest(name), StatusServer(script, tls=tls) as server:
                run = run_worker(job_args(server.port, transport=selector),
                                 env=dict(COM_FAILS, WORKER_TRANSFER_TIMEOUT="1"), timeout=RUN_LIMIT)
                self.check_outcome(run, 4, True)
                self.assertEqual(len(server.requests), 5)
                bodies = {request.body for request in server.requests}
                self.assertEqual(len(bodies), 1, "every attempt sends the same report")


if __name__ == "__main__":
    unittest.main()
