"""Transport faults between the worker and the status server, each over HTTP
and HTTPS: whatever the network does, the worker ends with the driver's
outcome (failures printed, then "Success" or five failures), exits with 0
and never delivers a report twice. What the worker makes of a reply's
content is shown over HTTP by test_status_report."""

import fcntl
import os
import subprocess
import time
import unittest

from harness import (ACCEPTED, COM_FAILED_LINE, COM_FAILS, HTML_500, NO_PARTNER_LIMIT, SOAP_FAILURE, WORKER,
                     StatusServer, WorkerRun, decode_console, drip, job_args, run_worker, unused_port,
                     worker_environment)

# A run of five failed attempts with the pauses cut to nothing and a
# one-second transfer limit ends well within this.
RUN_LIMIT = 60
TRANSPORTS = (("http", "0", False), ("https", "1", True))
PIPE_PAGE = 4096


def failure_texts(console):
    """The fault texts of the failed attempts and whether the run ended in
    "Success"; fails the test when the console is not the driver's."""
    assert console.startswith(COM_FAILED_LINE), console
    rest = console[len(COM_FAILED_LINE):]
    succeeded = rest.endswith("Success")
    if succeeded:
        rest = rest[:-len("Success")]
    parts = rest.split(SOAP_FAILURE)
    assert parts[0] == "", console
    return parts[1:], succeeded


def run_held_at_first_failure(args, env, while_held):
    """Runs the worker with its console in a one-page pipe that has room for
    the COM line only: the worker's write of its first failure waits until
    the pipe is read, after the first attempt and before the next one.
    Once the worker waits there, while_held() runs; then the console is
    read to the worker's exit."""
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, PIPE_PAGE)
    filler = PIPE_PAGE - len(COM_FAILED_LINE.encode("utf-16-le"))
    os.write(write_end, b"\0" * filler)
    with worker_environment(env) as full_env, open(read_end, "rb") as console:
        proc = subprocess.Popen([WORKER] + list(args), stdout=write_end, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL, env=full_env)
        os.close(write_end)
        try:
            # The kernel names where the worker waits; this only asks until
            # it is there (or the worker has ended, which the console shows).
            deadline = time.monotonic() + NO_PARTNER_LIMIT
            while True:
                with open("/proc/%d/wchan" % proc.pid) as wchan:
                    if "pipe_write" in wchan.read() or proc.poll() is not None:
                        break
                if time.monotonic() > deadline:
                    raise AssertionError("the worker never waited on its console")
                time.sleep(0.01)
            while_held()
            raw = console.read()[filler:]
            proc.wait(timeout=RUN_LIMIT)
        finally:
            proc.kill()
            proc.wait(NO_PARTNER_LIMIT)
    return WorkerRun(raw, decode_console(raw), proc.returncode)


class FaultMatrix(unittest.TestCase):
    def check_outcome(self, run, failures, succeeded):
        self.assertEqual(run.returncode, 0)
        texts, ended_in_success = failure_texts(run.text)
        self.assertEqual(len(texts), failures, run.text)
        self.assertEqual(ended_in_success, succeeded, run.text)
        for fault in texts:
            # The fault text, or the word (null) where the runtime recorded
            # only an error code (an end of input, a time limit).
            self.assertTrue(fault, run.text)
        return texts

    def test_connection_refused(self):
        for name, selector, _ in TRANSPORTS:
            with self.subTest(name):
                run = run_worker(job_args(unused_port(), transport=selector), env=COM_FAILS, timeout=RUN_LIMIT)
                texts = self.check_outcome(run, 5, False)
                self.assertEqual(len(set(texts)), 1, texts)

    def test_refused_then_accepted_once_the_server_listens(self):
        # The port is bound but not listening, so the first attempt is
        # refused; the server starts listening while the worker waits to
        # print that failure, and the next attempt is delivered once.
        for name, selector, tls in TRANSPORTS:
            with self.subTest(name), StatusServer(tls=tls, listening=False) as server:
                run = run_held_at_first_failure(job_args(server.port, transport=selector), COM_FAILS, server.listen)
                self.check_outcome(run, 1, True)
                self.assertEqual(len(server.requests), 1)
                report = server.requests[0].report()
                self.assertEqual((report["nSystemID"], report["nPatchID"], report["nJobID"], report["nStatus"]),
                                 ("7", "9", "42", "-6"))
                self.assertTrue(report["strErrorDescription"].startswith("Failed to initialize COM library."))

    def test_server_that_never_completes_its_reply(self):
        # Silent, or never silent but never done: each attempt ends at the
        # one-second transfer limit, its close included; the third one is
        # answered.
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

    def test_transport_the_server_does_not_speak(self):
        # TLS to a plain port (answered "400 Bad Request") and plain HTTP to
        # a TLS port: every attempt fails before a request is read.
        for name, selector, tls in (("https to a plain port", "1", False), ("http to a tls port", "0", True)):
            with self.subTest(name), StatusServer(tls=tls) as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS, timeout=RUN_LIMIT)
                self.check_outcome(run, 5, False)
                self.assertEqual(server.requests, [])

    def test_every_fault_once_then_accepted(self):
        # One job meets a reset, an HTML error and a reply broken inside its
        # status line in turn; the fourth attempt delivers the report, and it
        # is acknowledged exactly once.
        script = ["reset", HTML_500, ("reset after", b"HTTP/1.1 202 Acc"), ACCEPTED]
        for name, selector, tls in TRANSPORTS:
            with self.subTest(name), StatusServer(script, tls=tls) as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS, timeout=RUN_LIMIT)
                texts = self.check_outcome(run, 3, True)
                self.assertEqual(texts[1], "HTTP Error")
                self.assertEqual(len(server.requests), 4)
                bodies = {request.body for request in server.requests}
                self.assertEqual(len(bodies), 1, "every attempt sends the same report")


if __name__ == "__main__":
    unittest.main()
