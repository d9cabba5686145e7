"""An HTTPS attempt's TLS handshake ends by the attempt's time limit whatever
the server sends meanwhile: records that the handshake skips, paced or as
fast as they go, or the real handshake a byte at a time. Each stalled
attempt fails as "Timeout" because the worker gave up, and the attempt after
it reaches the status server behind the staller."""

import unittest

from handshake_stalls import DRIPPED_HANDSHAKE, HELLO_FLOOD, HELLO_REQUESTS, HandshakeStaller
from harness import COM_FAILED_LINE, COM_FAILS, SOAP_FAILURE, StatusServer, job_args, run_worker

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


if __name__ == "__main__":
    unittest.main()
