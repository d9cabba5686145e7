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
from test_server_trust import (NOT_TRUSTED, OTHER_ADDRESS_FORMS, Certificates, not_dotted_decimal, place_trust,
                               remove_trust)

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

    def remove_trust(self):
        remove_trust(self.folder)

    def assert_first_attempt_fails(self, server, host, text, connections=1):
        """The job's first attempt fails with text; the server got no
        request."""
        out, waiting = wine.run_until(self.args(server, host=host), SOAP_FAILURE + text)
        self.assertTrue(out.endswith(DEPLOYED + SOAP_FAILURE + text), out)
        self.assertTrue(waiting, "the worker pauses before its next attempt")
        server.close()
        self.assertEqual(server.requests, [])
        self.assertEqual(server.connections, connections)

    def assert_delivered(self, server, host="127.0.0.1"):
        run = wine.run_worker(self.args(server, host=host))
        self.assertTrue(run.text.endswith(DEPLOYED + "Success"), run.text)
        self.assertEqual(len(server.requests), 1)

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

    def test_a_server_below_the_tls_policy_gets_no_byte(self):
        for case, presented, tls_setup, text, reached_without_file in CERTIFICATES.below_policy():
            with self.subTest(case):
                self.place_trust(CERTIFICATES.root.pem())
                with StatusServer(tls=True, certificate=presented, tls_setup=tls_setup) as server:
                    self.assert_first_attempt_fails(server, "127.0.0.1", text)
                # Without the file the client is as lenient as before.
                if reached_without_file:
                    self.remove_trust()
                    with StatusServer(tls=True, certificate=presented, tls_setup=tls_setup) as server:
                        self.assert_delivered(server)

    def test_the_server_name_goes_out_for_a_dns_name_only(self):
        for host, presented, trust, sent in CERTIFICATES.server_names():
            with self.subTest(host=host, trust=trust is not None), \
                    StatusServer(tls=True, certificate=presented) as server:
                if trust:
                    self.place_trust(trust)
                else:
                    self.remove_trust()
                self.assert_delivered(server, host)
                self.assertEqual(server.server_names, [sent])

    def test_a_name_constrained_ca_cannot_vouch_through_the_common_name(self):
        for case, presented, trust, text in CERTIFICATES.name_constrained():
            with self.subTest(case), StatusServer(tls=True, certificate=presented) as server:
                self.place_trust(trust)
                if text:
                    self.assert_first_attempt_fails(server, "localhost", text)
                else:
                    self.assert_delivered(server, "localhost")

    def test_a_host_in_another_address_form_is_refused_before_any_connection(self):
        self.place_trust(CERTIFICATES.root.pem())
        for host in OTHER_ADDRESS_FORMS:
            with self.subTest(host), StatusServer(tls=True, certificate=CERTIFICATES.presented(CERTIFICATES.issued)) \
                    as server:
                self.assert_first_attempt_fails(server, host, not_dotted_decimal(host), connections=0)

    def test_an_empty_block_of_another_kind_is_passed_over(self):
        for case, trust in CERTIFICATES.empty_blocks():
            with self.subTest(case), StatusServer(tls=True, certificate=CERTIFICATES.presented(CERTIFICATES.issued)) \
                    as server:
                self.place_trust(trust)
                self.assert_delivered(server)

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
