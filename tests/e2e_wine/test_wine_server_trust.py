"""The status server's authentication by the Windows executable under Wine:
the cross-built OpenSSL verifies the loopback TLS server against the trust
file that the real CreateFileW reads from the agent's folder on drive W:,
with the same cases and the same console texts as the Linux suite.

A failed attempt is followed by the worker's real 60-second pause, so a
refused job is seen up to its first failed attempt and stopped there; its
record is on the disk by then, and a later job delivers it."""

import os
import tempfile
import unittest

import wine_harness as wine
from harness import SOAP_FAILURE, StatusServer, job_args
from test_deploy import UPDATE_ID
from test_server_trust import NOT_TRUSTED, Certificates, place_trust

DEPLOYED = "ReleasePatchDeployPointers - Exit"


def setUpModule():
    global CERTIFICATES, _folder
    _folder = tempfile.TemporaryDirectory()
    CERTIFICATES = Certificates(_folder.name)
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()
    _folder.cleanup()


class ServerTrustTest(unittest.TestCase):
    def setUp(self):
        root = wine.map_drive_with_installed_update(self)
        self.folder = os.path.join(root, "ORV", "PatchDeploy")

    def place_trust(self, data):
        place_trust(self.folder, data)

    def args(self, server, job="5", host="127.0.0.1", transport="1"):
        return job_args(server.port, transport=transport, update_id=UPDATE_ID, drive=wine.DRIVE, job=job,
                        host=host)

    def test_a_server_the_file_vouches_for_gets_the_report(self):
        for case, presented, trust, host in CERTIFICATES.accepted():
            with self.subTest(case), StatusServer(tls=True, certificate=presented) as server:
                self.place_trust(trust)
                run = wine.run_worker(self.args(server, host=host))
                self.assertTrue(run.text.endswith(DEPLOYED + "Success"), run.text)
                self.assertEqual(len(server.requests), 1)

    def test_a_server_that_fails_verification_gets_no_byte(self):
        for case, presented, trust, host, text in CERTIFICATES.refused():
            with self.subTest(case), StatusServer(tls=True, certificate=presented) as server:
                self.place_trust(trust)
                out, waiting = wine.run_until(self.args(server, host=host), SOAP_FAILURE + text)
                self.assertTrue(out.endswith(DEPLOYED + SOAP_FAILURE + text), out)
                self.assertTrue(waiting, "the worker pauses before its next attempt")
            self.assertEqual(server.requests, [])
            self.assertEqual(server.connections, 1)

    def test_the_waiting_record_is_delivered_once_the_file_is_right(self):
        with StatusServer(tls=True, certificate=CERTIFICATES.presented(CERTIFICATES.by_other_root)) as server:
            self.place_trust(CERTIFICATES.root.pem())
            refused = NOT_TRUSTED + "unable to get local issuer certificate."
            out, _ = wine.run_until(self.args(server, job="5"), SOAP_FAILURE + refused)
            self.assertTrue(out.endswith(SOAP_FAILURE + refused), out)
            self.place_trust(CERTIFICATES.other_root.pem())
            run = wine.run_worker(self.args(server, job="6"))
            self.assertTrue(run.text.endswith(DEPLOYED + "Success"), run.text)
        self.assertEqual([request.report()["nJobID"] for request in server.requests], ["6", "5"])

    def test_a_file_that_cannot_be_used_makes_no_connection(self):
        for case, trust, text in CERTIFICATES.unusable():
            with self.subTest(case), StatusServer(tls=True) as server:
                self.place_trust(trust)
                out, _ = wine.run_until(self.args(server), SOAP_FAILURE + text)
                self.assertTrue(out.endswith(DEPLOYED + SOAP_FAILURE + text), out)
            self.assertEqual(server.connections, 0)

    def test_without_the_file_or_over_http_nothing_changes(self):
        with StatusServer(tls=True) as server:
            run = wine.run_worker(self.args(server))
            self.assertTrue(run.text.endswith(DEPLOYED + "Success"), run.text)
        self.place_trust(b"garbage")
        with StatusServer() as plain:
            run = wine.run_worker(self.args(plain, transport="0"))
            self.assertTrue(run.text.endswith(DEPLOYED + "Success"), run.text)
        self.assertEqual(len(plain.requests), 1)


if __name__ == "__main__":
    unittest.main()
