"""How the worker tells where a reply ends (RFC 9112): Content-Length fields
that are not plain decimal digits, or that differ, make the reply an "HTTP
Error"; a reply whose connection ends before all of its length or its last
chunk has arrived is not whole; over HTTPS a reply whose end only the close
of its connection marks needs the TLS close alert, as a connection closed
without it may have been cut on the way; only an HTTP/1.0 or HTTP/1.1 status
line can acknowledge, and chunks framed wrongly are named. Each first attempt
meets the reply under test, the second one is acknowledged."""

import unittest

from harness import COM_FAILED_LINE, COM_FAILS, FAULT_BODY, SOAP_FAILURE, StatusServer, job_args, run_worker

ACKNOWLEDGED = "Success"
HTTP_ERROR = SOAP_FAILURE + "HTTP Error" + ACKNOWLEDGED
ENDED_EARLY = SOAP_FAILURE + "End of file or no input: the reply ended before the end its header gave" + ACKNOWLEDGED
CUT = SOAP_FAILURE + "End of file or no input: the TLS connection ended without its close alert" + ACKNOWLEDGED


def accepted(*fields, content=b""):
    """A 202 reply with the header fields given."""
    return b"HTTP/1.1 202 Accepted\r\n" + b"".join(f + b"\r\n" for f in fields) + b"Connection: close\r\n\r\n" + content


def fault(*fields):
    return (b"HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml\r\n" + b"".join(f + b"\r\n" for f in fields)
            + b"Connection: close\r\n\r\n" + FAULT_BODY)


def without_close_alert(data):
    """A reply whose connection ends with the TCP close alone: no TLS close
    alert follows the data."""
    def send(conn, stop):
        conn.sendall(data)
    return send


class ReplyFraming(unittest.TestCase):
    def console(self, first, tls=False):
        with StatusServer([first], tls=tls) as server:
            run = run_worker(job_args(server.port, transport="1" if tls else "0"), env=COM_FAILS)
        self.assertEqual(run.returncode, 0)
        self.assertTrue(run.text.startswith(COM_FAILED_LINE), run.text)
        return run.text[len(COM_FAILED_LINE):]

    def test_content_length_fields(self):
        length = b"Content-Length: %d" % len(FAULT_BODY)
        cases = (
            # Not plain decimal digits: the runtime would read 0 or 5 from them.
            ("hexadecimal", accepted(b"Content-Length: 0x10", content=b"x" * 16), HTTP_ERROR),
            ("signed", accepted(b"Content-Length: +0"), HTTP_ERROR),
            ("negative zero", accepted(b"Content-Length: -0"), HTTP_ERROR),
            ("inner blank", accepted(b"Content-Length: 0 0"), HTTP_ERROR),
            ("a list", accepted(b"Content-Length: 0, 0"), HTTP_ERROR),
            ("quoted", accepted(b'Content-Length: "0"'), HTTP_ERROR),
            ("empty", accepted(b"Content-Length:"), HTTP_ERROR),
            ("signed on a fault", fault(b"Content-Length: +%d" % len(FAULT_BODY)), HTTP_ERROR),
            # Fields that differ: the runtime would take the last one.
            ("two lengths", accepted(b"Content-Length: 5", b"Content-Length: 0"), HTTP_ERROR),
            ("two lengths on a fault", fault(length, b"Content-Length: 0"), HTTP_ERROR),
            # Plain digits, the same in every field, blanks around them.
            ("the same length twice", accepted(b"Content-Length: 0", b"content-length: 000"), ACKNOWLEDGED),
            ("blanks around the digits", accepted(b"Content-Length: \t 0 \t"), ACKNOWLEDGED),
            ("a fault with its length twice", fault(length, length), SOAP_FAILURE + "Job table is locked" + ACKNOWLEDGED),
            # A "100 Continue" carries no content: its fields do not count.
            ("a length on 100 Continue", b"HTTP/1.1 100 Continue\r\nContent-Length: 5\r\n\r\n" + accepted(
                b"Content-Length: 0"), ACKNOWLEDGED),
        )
        for name, reply, console in cases:
            with self.subTest(name):
                self.assertEqual(self.console(reply), console)

    def test_only_http_acknowledges(self):
        # A status line of another protocol, or HTTP misspelt, is no
        # acknowledgement: the record stays for a later attempt.
        cases = (
            ("another protocol", b"ICY 200 OK\r\nContent-Length: 0\r\n\r\n"),
            ("lower-case version", b"http/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n"),
            ("HTTP/2 spelt as text", b"HTTP/2 202 Accepted\r\nContent-Length: 0\r\n\r\n"),
            ("version without a blank", b"HTTP/1.1  202 Accepted\r\nContent-Length: 0\r\n\r\n"),
            ("on 100 Continue", b"HTTPS/1.1 100 Continue\r\nX: y\r\n\r\n" + accepted(b"Content-Length: 0")),
        )
        for name, reply in cases:
            with self.subTest(name):
                self.assertEqual(self.console(reply), HTTP_ERROR)
        for name, reply in (("HTTP/1.0", b"HTTP/1.0 202 Accepted\r\nContent-Length: 0\r\n\r\n"),
                            ("no reason", b"HTTP/1.1 202\r\nContent-Length: 0\r\n\r\n")):
            with self.subTest(name):
                self.assertEqual(self.console(reply), ACKNOWLEDGED)

    def test_chunks_framed_wrongly_say_what_was_wrong(self):
        chunked = b"Transfer-Encoding: chunked"
        bad_size = SOAP_FAILURE + "HTTP Error: a chunk's size line is not hexadecimal digits and a line end"
        cases = (
            # The runtime skips what is not a digit: it would read on, and
            # take "x0" for the last chunk.
            ("a size that is no number", accepted(chunked, content=b"zz\r\n0\r\n\r\n"), bad_size),
            ("a size behind a letter", accepted(chunked, content=b"x0\r\n\r\n"), bad_size),
            ("data longer than its size", accepted(chunked, content=b"2\r\nabc\r\n0\r\n\r\n"),
             SOAP_FAILURE + "HTTP Error: a chunk's data is not followed by a line end"),
            ("a size beyond 2 GiB", accepted(chunked, content=b"80000000\r\n"),
             SOAP_FAILURE + "HTTP Error: a chunk is larger than 2 GiB"),
        )
        for name, reply, console in cases:
            for tls in (False, True):
                with self.subTest(name, tls=tls):
                    self.assertEqual(self.console(reply, tls=tls), console + ACKNOWLEDGED)

    def test_reply_that_ends_before_its_end(self):
        chunked = b"Transfer-Encoding: chunked"
        cases = (
            ("202 without the content its length gives", accepted(b"Content-Length: 5"), ENDED_EARLY),
            ("202 with part of it", accepted(b"Content-Length: 5", content=b"ab"), ENDED_EARLY),
            ("202 without its last chunk", accepted(chunked), ENDED_EARLY),
            ("202 within a chunk", accepted(chunked, content=b"5\r\nab"), ENDED_EARLY),
            ("202 with its last chunk", accepted(chunked, content=b"0\r\n\r\n"), ACKNOWLEDGED),
        )
        for name, reply, console in cases:
            for tls in (False, True):
                with self.subTest(name, tls=tls):
                    self.assertEqual(self.console(reply, tls=tls), console)

    def test_end_of_a_tls_reply_without_a_length(self):
        page = b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"
        cases = (
            ("200 without content", without_close_alert(page), CUT),
            ("202 without content", without_close_alert(accepted()), CUT),
            ("202 without its header's end", without_close_alert(b"HTTP/1.1 202 Accepted\r\n"), CUT),
            ("fault", without_close_alert(fault()), CUT),
            # The close alert ends such a reply; a length or chunks end one
            # whatever follows.
            ("200 closed with the alert", page, ACKNOWLEDGED),
            ("fault closed with the alert", fault(), SOAP_FAILURE + "Job table is locked" + ACKNOWLEDGED),
            ("202 with a length", without_close_alert(accepted(b"Content-Length: 0")), ACKNOWLEDGED),
            ("202 with its last chunk", without_close_alert(
                accepted(b"Transfer-Encoding: chunked", content=b"0\r\n\r\n")), ACKNOWLEDGED),
        )
        for name, reply, console in cases:
            with self.subTest(name):
                self.assertEqual(self.console(reply, tls=True), console)
        # Over HTTP the server's close is the end.
        self.assertEqual(self.console(without_close_alert(page)), ACKNOWLEDGED)


if __name__ == "__main__":
    unittest.main()
