"""The Windows executable's TLS handshake under Wine, with the cross-built
OpenSSL and Winsock: a server that answers the ClientHello with HelloRequest
records every 50 ms, or drips its real handshake a byte every 50 ms, does not
hold the attempt beyond its limit, scaled down to a few seconds through
WORKER_TRANSFER_TIMEOUT. The attempt fails as "Timeout" and goes into the
worker's real 60-second pause, where the worker is stopped. The two stalls
run at the same time, each with its own worker and job."""

import contextlib
import time
import unittest

import wine_harness as wine
from handshake_stalls import DRIPPED_HANDSHAKE, HELLO_REQUESTS, HandshakeStaller
from harness import NO_PARTNER_LIMIT, SOAP_FAILURE, StatusServer, job_args
from test_deploy import UPDATE_ID

# A worker silent this long has not kept to the scaled-down limit; it is
# shorter than the product's two minutes, so a worker that ignores the
# variable fails the test as well.
SILENCE_LIMIT = NO_PARTNER_LIMIT


def stop(worker):
    worker.kill()
    worker.wait()
    worker.stdout.close()


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class HandshakeLimit(unittest.TestCase):
    def setUp(self):
        wine.map_drive_with_installed_update(self)

    def test_stalled_handshake_ends_at_the_attempt_limit(self):
        stalls = ((HELLO_REQUESTS, "61"), (DRIPPED_HANDSHAKE, "62"))
        with StatusServer(tls=True) as server, contextlib.ExitStack() as running:
            stallers = [running.enter_context(HandshakeStaller(stall, 1, server.port)) for stall, _ in stalls]
            workers = []
            started = time.monotonic()
            for staller, (_, job) in zip(stallers, stalls):
                args = job_args(staller.port, transport="1", job=job, update_id=UPDATE_ID, drive=wine.DRIVE)
                workers.append(wine.start_worker(args, env=wine.SHORT_TRANSFER_LIMIT))
                running.callback(stop, workers[-1])
            texts = [wine.read_until(worker, SOAP_FAILURE, limit=SILENCE_LIMIT) for worker in workers]
            elapsed = time.monotonic() - started
            paused = [worker.poll() is None for worker in workers]
        self.assertGreaterEqual(elapsed, wine.TRANSFER_LIMIT, "an attempt ended before its limit")
        for (stall, _), staller, text, waiting in zip(stalls, stallers, texts, paused):
            with self.subTest(stall):
                self.assertTrue(text.endswith("ReleasePatchDeployPointers - Exit" + SOAP_FAILURE + "Timeout"), text)
                self.assertTrue(waiting, "the worker waits before its next attempt")
                self.assertEqual(len(staller.ends), 1)
                self.assertTrue(staller.ends[0].by_client, "the worker ended the stalled connection")
                if stall == DRIPPED_HANDSHAKE:
                    self.assertGreater(staller.ends[0].withheld, 0, "the worker did not wait for the whole handshake")
        self.assertEqual(server.requests, [])


if __name__ == "__main__":
    unittest.main()
