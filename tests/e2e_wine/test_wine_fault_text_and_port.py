"""The Windows executable under Wine with the server's fault text in any
characters, and with ports and hosts that make no endpoint: the fault text
reaches the real C runtime's UTF-16 console as it was sent (cut only
between characters), and a port that is no port is refused before any
attempt, whatever Winsock would make of it.

A failed attempt is followed by the worker's real 60-second pause: each
fault text is read up to there, where the worker is stopped."""

import unittest

import wine_harness as wine
from harness import StatusServer, fault_reply, job_args
from test_deploy import UPDATE_ID
from test_endpoint_rules import UNSENDABLE as REFUSED
from test_endpoint_rules import full_width
from test_fault_text import EMOJI, FAULT_TEXT_UNITS


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class WineFaultTextAndPort(unittest.TestCase):
    def setUp(self):
        wine.map_drive_with_installed_update(self)

    def args(self, port, **fields):
        return job_args(port, update_id=UPDATE_ID, drive=wine.DRIVE, **fields)

    def test_fault_text_keeps_its_characters(self):
        ill_formed = b"a\xc0\xafb\xed\xa0\x80c\xe2\x82d\xff\x80e"
        cases = (
            ("separators and a direction mark", "A\u2028Success\u2029B\u202eC".encode(), "A Success B\u202eC"),
            ("600 emoji", EMOJI.encode() * 600, EMOJI * (FAULT_TEXT_UNITS // 2)),
            ("a pair that would end one unit beyond", b"xx" + EMOJI.encode() * 600,
             "xx" + EMOJI * ((FAULT_TEXT_UNITS - 2) // 2)),
            ("ill-formed bytes", ill_formed, ill_formed.decode("utf-8", "replace")),
        )
        for name, sent, shown in cases:
            with self.subTest(name), StatusServer([fault_reply(sent)]) as server:
                # Read until the whole text has come, or the worker is silent
                # in its pause; a unit of a broken pair would not decode.
                text, paused = wine.run_until(self.args(server.port), "Soap failure. " + shown)
                self.assertTrue(paused, text)
                self.assertEqual(text.split("ReleasePatchDeployPointers - Exit", 1)[1], "Soap failure. " + shown)

    def test_what_is_no_port_or_host_is_not_sent(self):
        with StatusServer() as server:
            port = server.port
            cases = (
                {"port": str(port + 65536)}, {"port": str(port - 65536)}, {"port": str(port + (1 << 32))},
                {"port": "+%d" % port}, {"port": full_width(str(port))}, {"port": "1" * 1105},
                {"port": "0"}, {"port": "80", "host": "127.0.0.1:%d" % port},
            )
            for fields in cases:
                with self.subTest(**{k: v[:20] for k, v in fields.items()}):
                    run = wine.run_worker(self.args(fields.pop("port"), **fields))
                    self.assertEqual(run.returncode, 0)
                    self.assertTrue(run.text.endswith("ReleasePatchDeployPointers - Exit" + REFUSED), run.text)
        self.assertEqual(server.connections, 0)


if __name__ == "__main__":
    unittest.main()
