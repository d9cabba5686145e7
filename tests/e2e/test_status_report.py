"""The deployment job's status report as the management server receives it:
the HTTP request and SOAP envelope byte for byte, HTTPS without server
authentication, and what the worker makes of each way the server may answer
(over HTTP; test_fault_matrix shows the transport faults over both)."""

import unittest
from xml.sax.saxutils import escape

from harness import (ACCEPTED, COM_FAILED_LINE, COM_FAILS, CONTENT_BOUND, FAULT_BODY, SOAP_FAILURE, StatusServer,
                     fault_reply, job_args, reply, run_worker, stream)

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


def check_request(test, request, port, status=-6, description=None):
    """The request line, the headers in their order and the envelope byte for
    byte. description is the element as sent; by default the COM failure's,
    whose system text is taken from the request."""
    test.assertEqual(request.request_line, "POST /VeltraneWS/veltwua HTTP/1.1")
    test.assertEqual(request.headers, [
        ("Host", "127.0.0.1:%d" % port),
        ("User-Agent", "gSOAP/2.8"),
        ("Content-Type", "text/xml; charset=utf-8"),
        ("Content-Length", str(len(request.body))),
        ("Connection", "close"),
        ("Authorization", BASIC_AGENT_SECRET),
        ("SOAPAction", ACTION),
    ])
    if description is None:
        text = request.report()["strErrorDescription"]
        test.assertTrue(text.startswith("Failed to initialize COM library. Error description:"), text)
        description = "<strErrorDescription>%s</strErrorDescription>" % escape(text)
    expected = ENVELOPE.format(system=7, patch=9, job=42, status=status, reboot=0, description=description)
    test.assertEqual(request.body.decode("utf-8"), expected)


class WireFormat(unittest.TestCase):
    def test_transport_selector(self):
        # Over HTTPS the certificate is self-signed and names another host:
        # accepted, since the server is not authenticated.
        for selector, tls in (("1", True), ("01", True), ("1abc", True), ("0", False), ("2", False),
                              ("yes", False), ("", False)):
            with self.subTest(selector=selector), StatusServer(tls=tls) as server:
                run = run_worker(job_args(server.port, transport=selector), env=COM_FAILS)
                self.assertEqual((run.text, run.returncode), (COM_FAILED_LINE + "Success", 0))
                self.assertEqual(len(server.requests), 1)
                check_request(self, server.requests[0], server.port)

    def test_credentials_on_the_retried_attempt(self):
        with StatusServer([reply(b"503 Service Unavailable")]) as server:
            run = run_worker(job_args(server.port), env=COM_FAILS)
        self.assertEqual(run.text, COM_FAILED_LINE + "Soap failure. HTTP ErrorSuccess")
        self.assertEqual(len(server.requests), 2)
        for request in server.requests:
            check_request(self, request, server.port)

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
                        COM_FAILED_LINE + "Soap failure. The status server's host or port is not valid.", 0))
        self.assertEqual(server.connections, 0)

    def test_job_numbers_read_as_wtoi_does(self):
        with StatusServer() as server:
            run_worker(job_args(server.port, job="abc", system=" +12x", patch="-3"), env=COM_FAILS)
        report = server.requests[0].report()
        self.assertEqual((report["nJobID"], report["nSystemID"], report["nPatchID"]), ("0", "12", "-3"))


class ServerAnswers(unittest.TestCase):
    """Each way the server may answer and the driver's console for it: a
    failed attempt prints its fault text and is retried, the next one is
    acknowledged."""

    def run_against(self, replies, attempts):
        with StatusServer(replies) as server:
            run = run_worker(job_args(server.port), env=COM_FAILS)
        self.assertEqual(run.returncode, 0)
        self.assertEqual(len(server.requests), attempts)
        self.assertTrue(run.text.startswith(COM_FAILED_LINE), run.text)
        return run.text[len(COM_FAILED_LINE):]

    def test_each_reply_rule(self):
        page = b"<html><body>Down for maintenance</body></html>"
        # Control characters (C0, DEL and C1) of a fault text become blanks,
        # so a server cannot write a "Success" line of its own; the text is
        # cut where the description buffer would cut it.
        forged = fault_reply(b"Job table&#xD;&#xA;Success\tis&#x7F;&#x85;locked")
        rules = (
            ("202 without content", ACCEPTED, None),
            ("200 without length and without content", reply(b"200 OK", length=False), None),
            ("200 with length zero", reply(b"200 OK"), "(null)"),
            ("500 without content", reply(b"500 Internal Server Error"), "HTTP Error"),
            ("500 carrying a fault", fault_reply(), "Job table is locked"),
            ("fault text with controls", forged, "Job table  Success is  locked"),
            ("fault text beyond the buffer", fault_reply(b"x" * 5000), "x" * 1023),
            ("fault at the content bound", fault_reply(padding=CONTENT_BOUND - len(FAULT_BODY)),
             "Job table is locked"),
            ("fault beyond the content bound", fault_reply(padding=CONTENT_BOUND + 1 - len(FAULT_BODY)),
             "HTTP Error"),
            ("fault without a length", fault_reply(length=False), "Job table is locked"),
            ("200 page without a length", reply(b"200 OK", page, length=False), "HTTP Error"),
            ("202 page without a length", reply(b"202 Accepted", page, length=False), "HTTP Error"),
            ("200 carrying an XML document", reply(b"200 OK", b'<?xml version="1.0"?><ack>ok</ack>'),
             "HTTP Error"),
            ("other status with content", reply(b"404 Not Found", b"no such service"), "HTTP/1.1 404 Not Found"),
        )
        for name, answer, fault in rules:
            with self.subTest(name):
                if fault is None:
                    self.assertEqual(self.run_against([answer], 1), "Success")
                else:
                    self.assertEqual(self.run_against([answer], 2), SOAP_FAILURE + fault + "Success")

    def test_endless_content_is_not_read(self):
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


class ArgumentCount(unittest.TestCase):
    def test_other_counts_do_nothing(self):
        with StatusServer() as server:
            # Entries counted with the program path: 1, 8, 10 and 12.
            for count in (0, 7, 9, 11):
                args = (job_args(server.port) + ["extra"])[:count]
                run = run_worker(args, env=COM_FAILS)
                self.assertEqual((run.raw, run.returncode), (b"", 0), count)
        self.assertEqual(server.connections, 0)


if __name__ == "__main__":
    unittest.main()
