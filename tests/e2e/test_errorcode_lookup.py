"""The support staff's errorcode_lookup tool: one line per code asked for,
and the whole table with --list, exactly as the data file holds it; the
product's version with --version."""

import os
import subprocess
import unittest

from harness import BINARY_DIR, build_version, error_texts

TOOL = os.path.join(BINARY_DIR, "src", "errorcode_lookup")
TEXTS = error_texts()


def lookup(*args):
    proc = subprocess.run([TOOL] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          stdin=subprocess.DEVNULL, timeout=60)
    return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")


class ErrorCodeLookupTest(unittest.TestCase):
    def test_list_prints_every_row_of_the_data_file(self):
        code, out, _ = lookup("--list")
        self.assertEqual(code, 0)
        self.assertEqual(out.split("\n")[:-1], ["0x%08X\t%s" % row for row in sorted(TEXTS.items())])

    def test_codes_in_hex_decimal_and_negative_form(self):
        code, out, _ = lookup("0x80070057", "-2147024809", "2147942487", "0", "-1", "0x80240007")
        self.assertEqual(code, 0)
        lines = out.split("\n")
        self.assertEqual(len(lines), 7)
        self.assertEqual(lines[:3], ["0x80070057\t" + TEXTS[0x80070057]] * 3)
        self.assertEqual(lines[3:6], ["0x00000000\t" + TEXTS[0], "0xFFFFFFFF\t" + TEXTS[0xFFFFFFFF],
                                      "0x80240007\t" + TEXTS[0x80240007]])

    def test_a_code_outside_the_table_shows_the_system_text(self):
        code, out, _ = lookup("0x80070004", "0x80240043")
        self.assertEqual(code, 0)
        lines = out.split("\n")
        self.assertTrue(lines[0].startswith("0x80070004\t(80070004) "), lines[0])
        self.assertGreater(len(lines[0]), len("0x80070004\t(80070004) "))
        self.assertEqual(lines[1], "0x80240043\t(80240043) ")

    def test_what_the_table_does_not_know_is_said_on_standard_error(self):
        # A code outside the table: the answer as before, and a note that
        # says so, with the system's message where there is one.
        code, out, err = lookup("0x80070004", "0x80240043", "0x80070057")
        self.assertEqual(code, 0)
        self.assertEqual(out.count("\n"), 3)
        notes = err.split("\n")[:-1]
        self.assertEqual(len(notes), 2, err)
        self.assertTrue(notes[0].startswith("errorcode_lookup: 0x80070004: not in the worker's table; "
                                            "the system's message: "), notes[0])
        self.assertGreater(len(notes[0]), len("errorcode_lookup: 0x80070004: not in the worker's table; "
                                              "the system's message: "))
        self.assertEqual(notes[1], "errorcode_lookup: 0x80240043: not in the worker's table; "
                                   "the system has no message for it")

    def test_eight_digits_without_0x_as_a_log_writes_them(self):
        # Read as decimal, as documented, with a word on the hexadecimal
        # reading when the table holds it; with letters it is no code, and
        # the same word says what it would be.
        code, out, err = lookup("80070005", "80240022")
        self.assertEqual(code, 0)
        self.assertEqual(out.split("\n")[0].split("\t")[0], "0x%08X" % 80070005)
        self.assertIn("errorcode_lookup: 80070005: read as decimal; as hexadecimal it would be 0x80070005: "
                      + TEXTS[0x80070005] + "\n", err)
        self.assertIn("errorcode_lookup: 80240022: read as decimal; as hexadecimal it would be 0x80240022: "
                      + TEXTS[0x80240022] + "\n", err)
        code, out, err = lookup("8007000E")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err, "errorcode_lookup: not a result code: 8007000E\n"
                              "errorcode_lookup: 8007000E: as hexadecimal it would be 0x8007000E: "
                              + TEXTS[0x8007000E] + "\n")
        # A decimal code whose hexadecimal reading the table lacks gets no word.
        code, _, err = lookup("12345678", "0x80070057")
        self.assertEqual(code, 0)
        self.assertNotIn("as hexadecimal", err)

    def test_version_is_the_one_the_build_defines(self):
        self.assertRegex(build_version(), r"^\d+\.\d+\.\d+$")
        self.assertEqual(lookup("--version"), (0, "errorcode_lookup %s\n" % build_version(), ""))
        # Only alone: beside a code it is an argument like any other.
        code, out, err = lookup("--version", "0x7B")
        self.assertEqual((code, out.count("\n"), err.count("not a result code")), (1, 1, 1))

    def test_bad_arguments_are_named_and_the_rest_still_answered(self):
        code, out, err = lookup("0x1G", "0x100000000", "4294967296", "-2147483649", "", "0x", "7B", "0x7B")
        self.assertEqual(code, 1)
        self.assertEqual(out.count("\n"), 1)
        self.assertTrue(out.startswith("0x0000007B\t"))
        self.assertEqual(err.count("not a result code"), 7)
        code, _, err = lookup()
        self.assertEqual(code, 2)
        self.assertIn("usage", err)


if __name__ == "__main__":
    unittest.main()
