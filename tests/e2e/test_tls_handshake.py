"""An HTTPS attempt's TLS handshake ends by the attempt's time limit whatever
the server sends meanwhile: records that the handshake skips, paced or as
fast as they go, or the real handshake a byte at a time. Each stalled
attempt fails as "Timeout" because the worker gave up, and the attempt after
it reaches the status server behind the staller. Closing the connection is
part of the attempt: the worker sends its close alert and does not wait for
the server's."""

import os
import re
import subprocess
import tempfile
import unittest

from handshake_stalls import DRIPPED_HANDSHAKE, HELLO_FLOOD, HELLO_REQUESTS, HandshakeStaller
from harness import (COM_FAILED_LINE, COM_FAILS, SOAP_FAILURE, WORKER, StatusServer, decode_console, job_args,
                     run_worker, traceable, under_strace, worker_environment)

# The attempt's limit, in seconds, scaled down from the product's two minutes.
TRANSFER_LIMIT = 2
STALLED_ATTEMPTS = 2
# Only a worker that does not keep to its limit takes this long: its run is
# ended and the test fails.
RUN_LIMIT = 60


class HandshakeLimit(unittest.TestCase):
    def test_stalled_handshake_ends_at_the_attempt_limit(self):
        for stall in (HELLO_REQUESTS, HELLO_FLOOD, DRIPPED_HANDSHAKE):
            with self.subTest(stall), StatusServer(tls=True) as server:
                with HandshakeStaller(stall, STALLED_ATTEMPTS, server.port) as staller:
                    run = run_worker(job_args(staller.port, transport="1"),
                                     env=dict(COM_FAILS, WORKER_TRANSFER_TIMEOUT=str(TRANSFER_LIMIT)),
                                     timeout=RUN_LIMIT)
                self.assertEqual(run.returncode, 0)
                self.assertEqual(run.text, COM_FAILED_LINE + (SOAP_FAILURE + "Timeout") * STALLED_ATTEMPTS + "Success")
                self.assertEqual(len(server.requests), 1)
                self.assertEqual(len(staller.ends), STALLED_ATTEMPTS)
                for end in staller.ends:
                    self.assertTrue(end.by_client, "the worker ended the stalled connection")
                    if stall == DRIPPED_HANDSHAKE:
                        self.assertGreater(end.withheld, 0, "the worker did not wait for the whole handshake")


# The system calls that wait for a socket, as strace names them.
WAITS = ("select", "pselect6", "poll", "ppoll")


def waits_after_close_alert(trace, port):
    """For each connection to port in an strace log: the waits on its socket
    between the worker's last write to it (the close alert) and its close."""
    found = []
    fd = None
    for line in trace.splitlines():
        call = re.match(r"\d+\s+(\w+)\((\d+|\[\{fd=(\d+))?", line)
        if not call:
            continue
        name, first = call.group(1), call.group(3) or call.group(2)
        if name == "connect" and "htons(%d)" % port in line:
            fd, waits = first, []
        elif fd is None:
            continue
        elif name == "write" and first == fd:
            waits = []
        elif name in WAITS and re.search(r"\b%s\b" % fd, line.split(")", 1)[0]):
            waits.append(line)
        elif name == "close" and first == fd:
            found.append(waits)
            fd = None
    return found


class ClosingConnection(unittest.TestCase):
    def test_closing_a_connection_does_not_wait_for_the_server(self):
        # A silent server: the attempt ends at its limit, and the close that
        # follows sends the client's alert and closes at once (the runtime
        # would wait up to 5 seconds for the server's alert).
        with tempfile.TemporaryDirectory() as folder, StatusServer(["silent"], tls=True) as server:
            trace = os.path.join(folder, "trace")
            with worker_environment(dict(COM_FAILS, WORKER_TRANSFER_TIMEOUT="1")) as env:
                proc = subprocess.run(under_strace(trace, "connect,write,close," + ",".join(WAITS),
                                                   [WORKER] + job_args(server.port, transport="1")),
                                      env=traceable(env), stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                      timeout=RUN_LIMIT)
            with open(trace) as f:
                closes = waits_after_close_alert(f.read(), server.port)
        self.assertEqual(decode_console(proc.stdout), COM_FAILED_LINE + SOAP_FAILURE + "(null)Success")
        self.assertEqual(len(closes), 2, "both attempts' connections were seen")
        self.assertEqual(closes, [[], []])


if __name__ == "__main__":
    unittest.main()
