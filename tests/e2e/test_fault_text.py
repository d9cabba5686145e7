"""The server's fault text on the worker's console: read as the UTF-8 it is
sent in, every character kept or shown as U+FFFD, the characters that would
forge or flood console lines as blanks, and cut only between characters.
Reading it so changes nothing of what the worker sends."""

import base64
import unittest

from harness import COM_FAILED_LINE, COM_FAILS, FAULT_BODY, SOAP_FAILURE, StatusServer, fault_reply, job_args, \
    run_worker
from test_status_report import check_request

# The most UTF-16 units of fault text that the console shows.
FAULT_TEXT_UNITS = 1023
EMOJI = "\U0001F600"  # two UTF-16 units
REPLACEMENT = "\ufffd"


def declared_fault(declaration, text):
    """A 500 reply whose Fault starts with the XML declaration given."""
    body = FAULT_BODY.replace(b'<?xml version="1.0"?>', declaration).replace(b"Job table is locked", text)
    return (b"HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n"
            b"Connection: close\r\n\r\n" % len(body)) + body


def console_fault(fault, **fields):
    """The fault text the worker prints for a first attempt answered with
    fault (the second one is acknowledged), and the server it sent to."""
    with StatusServer([fault]) as server:
        run = run_worker(job_args(server.port, **fields), env=COM_FAILS)
    assert run.returncode == 0 and run.text.startswith(COM_FAILED_LINE + SOAP_FAILURE), run.text
    assert run.text.endswith("Success"), run.text
    return run.text[len(COM_FAILED_LINE + SOAP_FAILURE):-len("Success")], server


class FaultText(unittest.TestCase):
    def test_characters_of_the_fault_text(self):
        ill_formed = b"a\xc0\xafb\xed\xa0\x80c\xe2\x82d\xff\x80e\xf4\x90\x80\x80f"
        cases = (
            # Separators end console lines: blanks. Other characters stay.
            ("separators and a direction mark", "A\u2028Success\u2029B\u202eC".encode(), "A Success B\u202eC"),
            ("many scripts", "Ошибка: ジョブ表 ü €".encode(), "Ошибка: ジョブ表 ü €"),
            # The runtime reads at most seven characters of a reference.
            ("character references", b"&#x1F600;&#128512;&#x0001F600;&#x2028;&#xE9;&#x85;&#x0041;",
             EMOJI * 3 + " \u00e9 A"),
            ("references to what is no character", b"a&#xD800;b&#0;c&#x110000;d&#x41e", "a\ufffdb\ufffdc\ufffdd\ufffdx41e"),
            # The text is cut at the first character that does not fit whole.
            ("600 emoji", EMOJI.encode() * 600, EMOJI * (FAULT_TEXT_UNITS // 2)),
            ("a pair that would end one unit beyond", b"xx" + EMOJI.encode() * 600,
             "xx" + EMOJI * ((FAULT_TEXT_UNITS - 2) // 2)),
            ("a pair that ends at the last unit", b"x" + EMOJI.encode() * 600,
             "x" + EMOJI * ((FAULT_TEXT_UNITS - 1) // 2)),
            # Overlong forms, surrogates, cut sequences, bytes UTF-8 never
            # uses and values beyond U+10FFFF: U+FFFD for each ill-formed
            # part, never another character or the byte after it.
            ("ill-formed bytes", ill_formed, ill_formed.decode("utf-8", "replace")),
            ("a reference kept in a CDATA section", b"<![CDATA[&#x1F600;]]>", "&#x1F600;"),
        )
        for name, sent, shown in cases:
            with self.subTest(name):
                text, _ = console_fault(fault_reply(sent))
                self.assertEqual(text, shown)
                self.assertLessEqual(len(text.encode("utf-16-le")) // 2, FAULT_TEXT_UNITS)

    def test_documents_in_other_encodings(self):
        cases = (
            # A document declared as ISO-8859-1: each byte is its character.
            ("ISO-8859-1", b'<?xml version="1.0" encoding="ISO-8859-1"?>', b"caf\xe9 \xa9", "caf\u00e9 \u00a9"),
            ("latin1 in single quotes", b"<?xml version='1.0' encoding='latin1'?>", b"\xfc\xff", "\u00fc\u00ff"),
            # Another 8-bit encoding is not read as Latin-1: what is not UTF-8
            # shows as U+FFFD.
            ("ISO-8859-2", b'<?xml version="1.0" encoding="ISO-8859-2"?>', b"\xa1x", REPLACEMENT + "x"),
            ("UTF-8 declared", b'<?xml version="1.0" encoding="UTF-8"?>', "\u00e9".encode(), "\u00e9"),
        )
        for name, declaration, sent, shown in cases:
            with self.subTest(name):
                text, _ = console_fault(declared_fault(declaration, sent))
                self.assertEqual(text, shown)
        # A second declaration would switch the runtime's reading midway: the
        # content is no Fault the worker reads.
        second = b'x<?xml version="1.0" encoding="ISO-8859-1"?>\xe9'
        text, _ = console_fault(declared_fault(b'<?xml version="1.0"?>', second))
        self.assertEqual(text, "HTTP Error")

    def test_what_is_sent_stays_the_same(self):
        # Strings are read as UTF-8; what goes out is as before, byte for
        # byte, and credentials go out as the bytes the command line gives.
        _, server = console_fault(fault_reply(EMOJI.encode()))
        for request in server.requests:
            check_request(self, request, server.port)
        user, password = "agént", "sécret€"
        _, server = console_fault(fault_reply(EMOJI.encode()), user=user, password=password)
        expected = "Basic " + base64.b64encode((user + ":" + password).encode()).decode()
        for request in server.requests:
            self.assertIn(("Authorization", expected), request.headers)

if __name__ == "__main__":
    unittest.main()
