"""The reboot-reminder mode of the Windows executable under Wine: the tray
stand-in on the Wine drive is started with the real CreateProcessAsUserW or
CreateProcessW, and records its command line, arguments and environment.

Where Wine differs from Windows: Wine lists a session and its
WTSQueryUserToken hands any caller its own token, so the plain run takes the
user-session way. The fallback start, for a machine where nobody is logged
on, puts a stand-in Terminal Services library
(tests/standins/win/wtsapi32_no_user.cpp) that lists no active session and
has no user token into the prefix's system folder, the only folder the
worker loads it from. After a started tray program the worker pauses 10
seconds with the real Sleep; the tests stop it once its success line is out
instead of waiting (the Linux suite sees the pause through the pause seam).

Wine hands every program started without inherited handles duplicates of
the starter's standard handles, windowed programs included: under Wine the
tray program of the fallback start keeps the worker's output open, so that
the worker's output ends with the worker is shown by the Linux suite alone."""

import os
import shutil
import tempfile
import unittest

import wine_harness as wine
from test_reminder import (COMMAND_LINE, ENTRY, FALLBACK_START, MARKER, NO_TOKEN, QUERY_FAILED, START, SUCCESS,
                           USER_START)

TRAY_ARGS = [wine.DRIVE, "1", "2", "3", "4", "5", "6", "abc"]
WINE_COMMAND_LINE = COMMAND_LINE.replace("D:\\", wine.DRIVE + ":\\")
ERROR_NO_TOKEN = 1008


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class ReminderTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.root = tmp.name
        self.tray_folder = os.path.join(self.root, "ORV", "PatchTray")
        os.makedirs(self.tray_folder)
        shutil.copy(os.path.join(wine.STANDINS, "VeltraneORVTray.exe"), self.tray_folder)
        self.record_file = os.path.join(self.tray_folder, "VeltraneORVTray.exe.record")
        wine.map_drive(self.root)

    def run_reminder(self, worker=None, env=None, args=TRAY_ARGS):
        """Runs the reminder until its success line (or its end) and returns
        the console text; a worker still in its pause is stopped. The tray
        stand-in runs on its own: its record (renamed into place whole) is
        waited for and kept as self.tray, (command line, argv, environment),
        so that no stand-in of this run writes after the run."""
        env = dict(env or {}, **{MARKER: "worker"})
        text, self.paused = wine.run_until(args, SUCCESS.replace("\n", "\r\n"), env=env, worker=worker)
        self.assertTrue(wine.wait_for_file(self.record_file), "the tray program left no record: " + text)
        with open(self.record_file, encoding="utf-8") as f:
            lines = f.read().splitlines()
        os.remove(self.record_file)
        self.assertEqual(lines[-1], "end")
        split = lines.index("environment")
        environment = dict(entry.split("=", 1) for entry in lines[split + 1:-1] if "=" in entry[1:])
        self.tray = lines[0], lines[1:split], environment
        return text

    def expected_console(self, *lines):
        return "".join(lines).replace("\n", "\r\n")

    def test_start_in_the_user_session(self):
        text = self.run_reminder()
        self.assertEqual(text, self.expected_console(START, ENTRY % WINE_COMMAND_LINE, USER_START, SUCCESS))
        self.assertTrue(self.paused, "the worker pauses after the start")
        command_line, argv, environment = self.tray
        self.assertEqual(command_line, WINE_COMMAND_LINE)
        self.assertEqual(argv, [wine.DRIVE + ":\\ORV\\PatchTray\\VeltraneORVTray.exe", "1", "2", "3", "4", "5", "6",
                                "abc"])
        # The user's environment block, not the worker's own environment.
        self.assertNotIn(MARKER, environment)

    def test_fallback_start_without_a_logged_on_user(self):
        with wine.standin_in_system_folder("wtsapi32.dll", wine.NO_USER_WTSAPI32):
            text = self.run_reminder()
        self.assertEqual(text, self.expected_console(START, ENTRY % WINE_COMMAND_LINE, QUERY_FAILED % ERROR_NO_TOKEN,
                                                     NO_TOKEN, FALLBACK_START, SUCCESS))
        self.assertTrue(self.paused, "the worker pauses after the start")
        command_line, argv, environment = self.tray
        self.assertEqual(command_line, WINE_COMMAND_LINE)
        self.assertEqual(argv[1:], ["1", "2", "3", "4", "5", "6", "abc"])
        # Started in the worker's own session, with the worker's environment.
        self.assertEqual(environment.get(MARKER), "worker")

    def test_reminder_setting_is_read_as_the_c_runtime_reads_it(self):
        # Full-width digits are digits to the Windows C runtime: "01".
        text = self.run_reminder(args=[wine.DRIVE, "\uff10\uff11"] + TRAY_ARGS[2:])
        self.assertEqual(text, self.expected_console(START, ENTRY % WINE_COMMAND_LINE, USER_START, SUCCESS))
        self.assertEqual(self.tray[1][1], "1")

    def test_missing_tray_program(self):
        os.remove(os.path.join(self.tray_folder, "VeltraneORVTray.exe"))
        run = wine.run_worker(TRAY_ARGS)
        self.assertEqual(run.returncode, 0)
        self.assertTrue(run.text.startswith(self.expected_console(START, ENTRY % WINE_COMMAND_LINE)), run.text)
        # Wine refuses the start of a missing program with
        # ERROR_FILE_NOT_FOUND, as Windows does.
        self.assertTrue(run.text.endswith("Patch Tray Execution Failed. ReturnValue:-1, ErrorCode:2"), run.text)

    def test_drive_that_is_not_a_letter_starts_nothing(self):
        # The first drive would start the tray program with the drive's
        # remainder as its first argument if it were used as given.
        for drive in (wine.DRIVE + ':\\ORV\\PatchTray\\VeltraneORVTray.exe" "', "", "WW", "W:"):
            with self.subTest(drive=drive):
                run = wine.run_worker([drive] + TRAY_ARGS[1:])
                self.assertEqual(run.text, self.expected_console(START) +
                                 "Patch Tray Execution Failed. ReturnValue:-1, ErrorCode:87")
        self.assertFalse(os.path.exists(self.record_file))

    def test_text_reaches_the_tray_program_as_one_argument(self):
        for text in ('abc" --uninstall "x', "C:\\dir\\", 'a\\"b\\\\"'):
            with self.subTest(text=text):
                self.run_reminder(args=[wine.DRIVE.lower(), "1", "2", "3", "4", "5", "6", text])
                self.assertEqual(self.tray[1][1:], ["1", "2", "3", "4", "5", "6", text])

    def test_reminder_disabled(self):
        run = wine.run_worker([wine.DRIVE, "0", "2", "3", "4", "5", "6", "abc"])
        self.assertEqual((run.text, run.returncode),
                         ("LaunchRebootReminder:  START\r\nLaunchRebootReminder:  Reboot disabled\r\n", 0))
        self.assertFalse(os.path.exists(self.record_file))


if __name__ == "__main__":
    unittest.main()
