"""The Windows executable's status report under Wine: Winsock, the gSOAP
runtime and the cross-built OpenSSL talk to the loopback status server over
HTTP and HTTPS, and the console is the real C runtime's UTF-16 text mode.

The report's retries run with the pauses between them shortened to nothing
(WORKER_SLEEP_SCALE=0, which the Windows build takes as the Linux one does);
the other tests of a failed attempt see it up to its pause, where the worker
is stopped. A refused
connection under Wine is not refused at once but waits out the 120-second
connect limit and then fails as "Timeout", so it is not run here either."""

import json
import os
import tempfile
import unittest

import wine_harness as wine
from harness import (CONTENT_BOUND, FAULT_BODY, HTML_500, NO_PARTNER_LIMIT, StatusServer, drip, fault_reply, job_args,
                     reply, stream)
from test_deploy import SCAN_SERVICE_ID, UPDATE_ID, update
from test_spool import UNAVAILABLE
from test_status_report import check_request


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class ReportTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.root = tmp.name
        folder = os.path.join(self.root, "ORV", "PatchDeploy")
        os.makedirs(folder)
        # The update is installed already: the job succeeds without a restart.
        with open(os.path.join(folder, "wsusscn2.cab"), "w") as f:
            json.dump({"service_id": SCAN_SERVICE_ID, "updates": [update(installed=True)]}, f)
        wine.map_drive(self.root)

    def run_job(self, server, transport="0", env=None, **fields):
        return wine.run_worker(job_args(server.port, transport=transport, update_id=UPDATE_ID, drive=wine.DRIVE,
                                        **fields), env=env)

    def test_a_report_is_tried_five_times_at_most(self):
        # The fifth attempt is the last: acknowledged, or the job ends with
        # its fifth failure printed.
        for failures, attempts, last in ((4, 5, "Success"), (5, 5, "Soap failure. HTTP Error")):
            with self.subTest(failures=failures), StatusServer([UNAVAILABLE] * failures) as server:
                run = self.run_job(server, env={"WORKER_SLEEP_SCALE": "0"})
                self.assertEqual(run.returncode, 0)
                self.assertEqual(len(server.requests), attempts, run.text)
                self.assertEqual(run.text.count("Soap failure. HTTP Error"), failures, run.text)
                self.assertTrue(run.text.endswith(last), run.text)

    def test_report_over_http_and_https(self):
        # Over HTTPS the certificate is self-signed and made out to another
        # host: accepted, as the server is not authenticated.
        for selector, tls in (("0", False), ("1", True), ("01", True)):
            with self.subTest(selector=selector), StatusServer(tls=tls) as server:
                run = self.run_job(server, transport=selector)
                self.assertEqual(run.returncode, 0)
                self.assertEqual(len(server.requests), 1, run.text)
                check_request(self, server.requests[0], server.port, status=6, description="<strErrorDescription/>")
                self.assertTrue(run.text.endswith("ReleasePatchDeployPointers - ExitSuccess"), run.text)

    def test_fault_answer_is_printed_and_followed_by_the_pause(self):
        # The first attempt meets a SOAP fault; the worker prints its fault
        # string and pauses before the next attempt. It is stopped there.
        with StatusServer([fault_reply()]) as server:
            text, paused = wine.run_until(job_args(server.port, update_id=UPDATE_ID, drive=wine.DRIVE),
                                          "Soap failure. Job table is locked")
        self.assertTrue(text.endswith("ReleasePatchDeployPointers - ExitSoap failure. Job table is locked"), text)
        self.assertTrue(paused, "the worker waits before its next attempt")
        self.assertEqual(len(server.requests), 1)

    def test_first_attempt_of_each_transport_fault(self):
        # Winsock and the cross-built OpenSSL meet each fault; the attempt's
        # fault text (one console write) is read up to the pause. A reply is
        # read up to 64 KiB of content, one without a length to its end.
        partial = ("reset after", b"HTTP/1.1 202 Acc")
        page = b"<html><body>Down for maintenance</body></html>"
        huge = stream(b"HTTP/1.1 200 OK\r\n\r\n", 512 << 20)
        cases = [
            ("500 page over http", [HTML_500], "0", False, "HTTP Error"),
            ("500 page over https", [HTML_500], "1", True, "HTTP Error"),
            ("fault beyond 64 KiB", [fault_reply(padding=CONTENT_BOUND + 1 - len(FAULT_BODY))], "0", False,
             "HTTP Error"),
            ("512 MiB over https", [huge], "1", True, "HTTP Error"),
            ("200 page without a length over http", [reply(b"200 OK", page, length=False)], "0", False, "HTTP Error"),
            ("fault without a length over https", [fault_reply(length=False)], "1", True, "Job table is locked"),
            ("another protocol's status line", [b"ICY 200 OK\r\nContent-Length: 0\r\n\r\n"], "0", False,
             "HTTP Error"),
            ("a chunk size that is no number over https",
             [b"HTTP/1.1 202 Accepted\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n0\r\n\r\n"], "1", True,
             "HTTP Error: a chunk's size line is not hexadecimal digits and a line end"),
            ("reset mid-reply over http", [partial], "0", False, None),
            ("reset mid-reply over https", [partial], "1", True, None),
            ("https to a plain port", [], "1", False, None),
            ("http to a tls port", [], "0", True, None),
        ]
        for name, replies, selector, tls, expected in cases:
            with self.subTest(name), StatusServer(replies, tls=tls) as server:
                text, paused = wine.run_until(
                    job_args(server.port, transport=selector, update_id=UPDATE_ID, drive=wine.DRIVE), "Soap failure. ")
                self.assertTrue(paused, text)
                fault = text.split("Soap failure. ", 1)[1]
                self.assertTrue(fault, text)
                if expected:
                    self.assertEqual(fault, expected)
        self.assertLess(huge.sent, huge.size // 8, "the worker stops reading")

    def test_dripping_reply_ends_at_the_transfer_limit(self):
        # The attempt's limit is scaled down to a few seconds; the server
        # drips more often than that, so only the limit of the whole attempt
        # ends it, and the worker goes into its pause. A worker silent for
        # longer than the product's 120 seconds would be stopped first, but
        # one that ignored the shorter limit fails the test.
        head = b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"
        with StatusServer([drip(head, b"<", 1)], tls=True) as server:
            text, paused = wine.run_until(job_args(server.port, transport="1", update_id=UPDATE_ID, drive=wine.DRIVE),
                                          "Soap failure. ", env=wine.SHORT_TRANSFER_LIMIT, limit=NO_PARTNER_LIMIT)
        self.assertIn("Soap failure. ", text)
        self.assertTrue(paused, text)
        self.assertEqual(len(server.requests), 1)

    def test_job_numbers_read_as_wtoi_does(self):
        with StatusServer() as server:
            self.run_job(server, job="42x", system=" +12x", patch="-3")
        report = server.requests[0].report()
        self.assertEqual((report["nJobID"], report["nSystemID"], report["nPatchID"]), ("42", "12", "-3"))

    def test_console_is_utf16le_with_cr_lf(self):
        with StatusServer() as server:
            run = self.run_job(server)
        self.assertFalse(run.raw.startswith(b"\xff\xfe"), "no byte-order mark")
        self.assertTrue(run.raw.startswith("\r\n\r\nSearching".encode("utf-16-le")), run.raw[:40])
        self.assertEqual(run.text.count("\n"), run.text.count("\r\n"))
        self.assertEqual(run.raw, run.text.encode("utf-16-le"))

    def test_other_argument_counts_do_nothing(self):
        with StatusServer() as server:
            # Entries counted with the program path: 1, 8, 10 and 12.
            for count in (0, 7, 9, 11):
                args = (job_args(server.port) + ["extra"])[:count]
                run = wine.run_worker(args)
                self.assertEqual((run.raw, run.returncode), (b"", 0), count)
        self.assertEqual(server.connections, 0)


if __name__ == "__main__":
    unittest.main()
