"""The deployment job's status report as the management server receives it:
the HTTP request and SOAP envelope byte for byte, every way the server may
answer, HTTPS without server authentication, and the retry loop."""

import os
import time
import unittest
from xml.sax.saxutils import escape

from harness import (ACCEPTED, StatusServer, job_args, run_worker, stream, unused_port)

ENVELOPE = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/"'
    ' xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/"'
    ' xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"'
    ' xmlns:xsd="http://www.w3.org/2001/XMLSchema"'
    ' xmlns:ns1="http://service.veltrane.ws/">'
    '<SOAP-ENV:Body><ns1:UpdateDeployJobStatus>'
    '<nSystemID>{system}</nSystemID><nPatchID>{patch}</nPatchID><nJobID>{job}</nJobID>'
    '<nStatus>{status}</nStatus><nRebootRequired>{reboot}</nRebootRequired>'
    '{description}'
    '</ns1:UpdateDeployJobStatus></SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n')

ACTION = '"http://service.veltrane.ws/veltwuaPort/UpdateDeployJobStatus"'
BASIC_AGENT_SECRET = "Basic YWdlbnQ6c2VjcmV0"  # agent:secret

# A job that fails before it reaches the update agent: COM start-up is made
# to fail, so the report's content does not depend on any catalog.
COM_FAILS = {"WORKER_COINIT_RESULT": "0x80004005"}

FAULT_BODY = (b'<?xml version="1.0"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/">'
              b"<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
              b"<faultstring>Job table is locked</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>")


def reply(status_line, body=b"", length=True):
    head = b"HTTP/1.1 " + status_line + b"\r\n"
    if length:
        head += b"Content-Length: " + str(len(body)).encode() + b"\r\n"
    return head + b"Connection: close\r\n\r\n" + body


# The most content the worker reads from a reply: a Fault fits, anything
# longer is an HTTP error.
CONTENT_BOUND = 64 * 1024


def fault_reply(text=b"Job table is locked", length=True, padding=0):
    """A 500 reply carrying a SOAP Fault with text as its faultstring, padded
    with blanks after the envelope."""
    body = FAULT_BODY.replace(b"Job table is locked", text) + b" " * padding
    head = b"HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml\r\n"
    if length:
        head += b"Content-Length: %d\r\n" % len(body)
    return head + b"Connection: close\r\n\r\n" + body


class WireFormat(unittest.TestCase):
    def check_request(self, request, port, tls=False):
        self.assertEqual(request.request_line, "POST /VeltraneWS/veltwua HTTP/1.1")
        names = [name for name, _ in request.headers]
        self.assertEqual(names, ["Host", "User-Agent", "Content-Type", "Content-Length", "Connection",
                                 "Authorization", "SOAPAction"])
        headers = dict(request.headers)
        self.assertEqual(headers["Host"], "127.0.0.1:%d" % port)
        self.assertEqual(headers["User-Agent"], "gSOAP/2.8")
        self.assertEqual(headers["Content-Type"], "text/xml; charset=utf-8")
        self.assertEqual(int(headers["Content-Length"]), len(request.body))
        self.assertEqual(headers["Connection"], "close")
        self.assertEqual(headers["Authorization"], BASIC_AGENT_SECRET)
        self.assertEqual(headers["SOAPAction"], ACTION)
        description = request.report()["strErrorDescription"]
        self.assertTrue(description.startswith("Failed to initialize COM library. Error description:"),
                        description)
        expected = ENVELOPE.format(system=7, patch=9, job=42, status=-6, reboot=0,
                                   description="<strErrorDescription>%s</strErrorDescription>" % escape(description))
        self.assertEqual(request.body.decode("utf-8"), expected)

    def test_http_request_line_headers_and_envelope(self):
        with StatusServer() as server:
            run = run_worker(job_args(server.port), env=COM_FAILS)
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.text, "Failed to initialize COM.\r\nSuccess")
        self.assertEqual(len(server.requests), 1)
        self.check_request(server.requests[0], server.port)

    def test_https_with_an_unverifiable_certificate(self):
        # The certificate is self-signed and names another host: accepted,
        # since the server is not authenticated.
        for selector in ("1", "01", "1abc"):
            with self.subTest(selector=selector), StatusServer(tls=True) as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS)
                self.assertEqual(run.text, "Failed to initialize COM.\r\nSuccess")
                self.check_request(server.requests[0], server.port)

    def test_other_selectors_use_plain_http(self):
        for selector in ("0", "2", "yes", ""):
            with self.subTest(selector=selector), StatusServer() as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS)
                self.assertTrue(run.text.endswith("Success"), run.text)
                self.assertEqual(len(server.requests), 1)

    def test_credentials_on_the_retried_attempt(self):
        with StatusServer([reply(b"503 Service Unavailable")]) as server:
            run = run_worker(job_args(server.port), env=COM_FAILS)
        self.assertEqual(run.text, "Failed to initialize COM.\r\nSoap failure. HTTP ErrorSuccess")
        self.assertEqual(len(server.requests), 2)
        for request in server.requests:
            self.check_request(request, server.port)

    def test_host_or_port_with_blanks_or_controls_is_not_sent(self):
        # Such an endpoint would change the request itself (a carriage return
        # in the port starts a header line of its own), and no retry would
        # mend it: one line, no attempt, no pause (the pauses run at their
        # real length here, so a pause would outlast the run's limit).
        with StatusServer() as server:
            good = str(server.port)
            for host, port in (("127.0.0.1\r\nX-Injected: 1", good), ("127.0.0.1", good + "\r"),
                               ("127.0.0.1 ", good), ("127.0.0.1", "\t" + good), ("127.0.\x7f0.1", good),
                               ("127.0.0.1\u0085", good), ("127.0.0.1", good + "\u00a0")):
                with self.subTest(host=host, port=port):
                    run = run_worker(job_args(port, host=host), env=dict(COM_FAILS, WORKER_SLEEP_SCALE="1"),
                                     timeout=30)
                    self.assertEqual((run.text, run.returncode), (
                        "Failed to initialize COM.\r\nSoap failure. The status server's host or port is not valid.",
                        0))
            self.assertEqual(server.requests, [])

    def test_job_numbers_read_as_wtoi_does(self):
        with StatusServer() as server:
            run_worker(job_args(server.port, job="abc", system=" +12x", patch="-3"), env=COM_FAILS)
        report = server.requests[0].report()
        self.assertEqual((report["nJobID"], report["nSystemID"], report["nPatchID"]), ("0", "12", "-3"))


class ServerAnswers(unittest.TestCase):
    """Each way the server may answer, with the console lines of the driver.
    A failed attempt is retried up to five times in all."""

    def run_against(self, replies, attempts):
        with StatusServer(replies) as server:
            run = run_worker(job_args(server.port), env=COM_FAILS)
        self.assertEqual(run.returncode, 0)
        self.assertEqual(len(server.requests), attempts)
        self.assertTrue(run.text.startswith("Failed to initialize COM.\r\n"))
        return run.text[len("Failed to initialize COM.\r\n"):]

    def test_accepted_without_content(self):
        self.assertEqual(self.run_against([ACCEPTED], 1), "Success")

    def test_200_without_length_and_without_content(self):
        self.assertEqual(self.run_against([reply(b"200 OK", length=False)], 1), "Success")

    def test_200_with_length_zero_fails_without_fault_text(self):
        self.assertEqual(self.run_against([reply(b"200 OK")] * 5, 5), "Soap failure. (null)" * 5)

    def test_500_carrying_a_fault(self):
        self.assertEqual(self.run_against([fault_reply()] * 5, 5), "Soap failure. Job table is locked" * 5)

    def test_fault_text_is_one_line_of_at_most_1023_characters(self):
        # Control characters (C0, DEL and C1) become blanks, so a server
        # cannot write a "Success" line of its own; the text is cut where the
        # description buffer would cut it.
        forged = fault_reply(b"Job table&#xD;&#xA;Success\tis&#x7F;&#x85;locked")
        self.assertEqual(self.run_against([forged], 2), "Soap failure. Job table  Success is  lockedSuccess")
        self.assertEqual(self.run_against([fault_reply(b"x" * 5000)], 2), "Soap failure. " + "x" * 1023 + "Success")

    def test_content_beyond_the_bound_is_an_http_error_and_is_not_read(self):
        at_bound = fault_reply(padding=CONTENT_BOUND - len(FAULT_BODY))
        self.assertEqual(self.run_against([at_bound], 2), "Soap failure. Job table is lockedSuccess")
        beyond = fault_reply(padding=CONTENT_BOUND + 1 - len(FAULT_BODY))
        self.assertEqual(self.run_against([beyond], 2), "Soap failure. HTTP ErrorSuccess")
        # 512 MiB, with and without a length, and as a multipart attachment:
        # the worker stops reading (the server's writes fail once the loopback
        # buffers are full).
        size = 512 << 20
        multipart = (b'HTTP/1.1 200 OK\r\nContent-Type: multipart/related; boundary="b"; start="<root>"\r\n\r\n'
                     b"--b\r\nContent-ID: <other>\r\n\r\n")
        for head in (b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % size, b"HTTP/1.1 200 OK\r\n\r\n", multipart):
            huge = stream(head, size)
            self.assertEqual(self.run_against([huge], 2), "Soap failure. HTTP ErrorSuccess")
            self.assertLess(huge.sent, size // 8)

    def test_reply_without_a_length_is_judged_by_its_content(self):
        page = b"<html><body>Down for maintenance</body></html>"
        for status in (b"200 OK", b"202 Accepted"):
            self.assertEqual(self.run_against([reply(status, page, length=False)], 2),
                             "Soap failure. HTTP ErrorSuccess")
        self.assertEqual(self.run_against([fault_reply(length=False)], 2), "Soap failure. Job table is lockedSuccess")

    def test_200_carrying_an_xml_document(self):
        doc = b'<?xml version="1.0"?><ack>ok</ack>'
        self.assertEqual(self.run_against([reply(b"200 OK", doc)] * 5, 5), "Soap failure. HTTP Error" * 5)

    def test_500_carrying_html(self):
        page = b"<html><body>Internal error</body></html>"
        self.assertEqual(self.run_against([reply(b"500 Internal Server Error", page)] * 5, 5),
                         "Soap failure. HTTP Error" * 5)

    def test_other_status_with_content_gives_its_status_line(self):
        self.assertEqual(self.run_against([reply(b"404 Not Found", b"no such service")] * 5, 5),
                         "Soap failure. HTTP/1.1 404 Not Found" * 5)

    def test_second_attempt_accepted(self):
        self.assertEqual(self.run_against([reply(b"500 Internal Server Error")], 2),
                         "Soap failure. HTTP ErrorSuccess")

    def test_connection_refused(self):
        run = run_worker(job_args(unused_port()), env=COM_FAILS)
        self.assertEqual(run.returncode, 0)
        failures = run.text.split("Soap failure. ")[1:]
        self.assertEqual(len(failures), 5)
        self.assertTrue(all(f == failures[0] and f for f in failures), failures)

    def test_server_that_never_answers_is_given_up_on(self):
        # With a one-second transfer limit each attempt fails instead of
        # waiting forever, and the retries go on.
        with StatusServer(["silent", "silent"]) as server:
            run = run_worker(job_args(server.port), env=dict(COM_FAILS, WORKER_TRANSFER_TIMEOUT="1"))
        self.assertEqual(len(server.requests), 3)
        self.assertEqual(run.text.count("Soap failure. "), 2)
        self.assertTrue(run.text.endswith("Success"), run.text)


class ArgumentCount(unittest.TestCase):
    def test_other_counts_do_nothing(self):
        with StatusServer() as server:
            # Entries counted with the program path: 1, 8, 10 and 12.
            for count in (0, 7, 9, 11):
                args = (job_args(server.port) + ["extra"])[:count]
                run = run_worker(args, env=COM_FAILS)
                self.assertEqual((run.raw, run.returncode), (b"", 0), count)
            time.sleep(0.2)
            self.assertEqual(server.requests, [])


if __name__ == "__main__":
    unittest.main()
