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
