"""The standalone installer as the worker finds and starts it: the package is
a plain file of the job folder, cmd.exe and wusa.exe are started from the
system folder by their full paths (never found by a search in which a
planted program could come first), and an installer that cannot be started
is reported and printed with the system's reason."""

import os
import stat
import unittest

from harness import SYSTEM_FOLDER
from test_deploy import STANDALONE_TITLE, DeployTestCase, update

PACKAGE = "windows11.0-kb5068861-x64.msu"
SEARCH_LINE = "\r\n\r\nSearching for missing patches. Please wait.\r\n"
START_FAILURE = "The installer could not be started: "
NOT_FOUND = START_FAILURE + "The file could not be found."
ACCESS_DENIED = START_FAILURE + "Access was denied."

# A program planted where a search by name would look: it leaves a mark
# beside itself and exits with success.
PLANTED = """#!/bin/sh
echo "$0 $*" >> "$(dirname "$0")/planted-ran.txt"
exit 0
"""

# The system folder's cmd.exe, recording its arguments before it does what
# the stand-in command interpreter does.
RECORDING_CMD = """#!/bin/sh
for argument in "$@"; do printf '%%s\\n' "$argument"; done > '%s'
exec '%s' "$@"
"""


def write_program(path, text, mode=0o755):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


class InstallerTestCase(DeployTestCase):
    def standalone_job(self, *entries):
        """A job whose update is installed from a standalone package, with the
        given entries in its job folder: a name ending in "/" is a folder."""
        job = self.job()
        job.scan_package([update(title=STANDALONE_TITLE)])
        os.makedirs(job.job_folder, exist_ok=True)
        for name in entries:
            if name.endswith("/"):
                os.makedirs(os.path.join(job.job_folder, name))
            else:
                job.job_file(name)
        return job


class PackageIsAPlainFileTest(InstallerTestCase):
    def test_entries_that_are_not_plain_files_or_whose_name_leaves_the_folder_are_passed_over(self):
        # Each of these comes before b.msu in the folder's order. The file
        # that the backslash name would reach, C:\evil.msu, is there.
        def planted_outside(job):
            path = os.path.join(job.root, "C", "evil.msu")
            with open(path, "w") as f:
                f.write("outside the job folder")
            return path

        def folder(job):
            os.makedirs(os.path.join(job.job_folder, "a.msu"))

        def link_to_a_file(job):
            os.symlink(planted_outside(job), os.path.join(job.job_folder, "a.msu"))

        def link_to_a_folder(job):
            os.symlink(os.path.join(job.root, "C"), os.path.join(job.job_folder, "a.msu"))

        def fifo(job):
            os.mkfifo(os.path.join(job.job_folder, "a.msu"))

        def backslash_name(job):
            planted_outside(job)
            job.job_file("..\\..\\evil.msu")

        for plant in (folder, link_to_a_file, link_to_a_folder, fifo, backslash_name):
            with self.subTest(entry=plant.__name__):
                job = self.standalone_job()
                plant(job)
                job.run(WUSA_EXIT_CODE="0")
                self.assertReport(job, -6, 0, "Unable to get MSU file name.")
                self.assertIsNone(job.installer_args)

                job = self.standalone_job("b.msu")
                plant(job)
                job.run(WUSA_EXIT_CODE="0")
                self.assertReport(job, 6, 1, "")
                self.assertEqual(job.installer_args, [job.windows_path("b.msu"), "/quiet", "/norestart", ""])


class InstallerProgramsTest(InstallerTestCase):
    def test_cmd_and_wusa_are_started_from_the_system_folder_whatever_the_search_path_holds(self):
        job = self.standalone_job(PACKAGE)
        planted = os.path.join(job.root, "planted")
        os.makedirs(planted)
        for name in ("cmd", "cmd.exe", "wusa", "wusa.exe"):
            write_program(os.path.join(planted, name), PLANTED)
        cmd_args = os.path.join(job.root, "cmd-args.txt")
        real_cmd = os.path.join(job.system_folder, "cmd.exe")
        os.rename(real_cmd, os.path.join(job.system_folder, "standin-cmd"))
        write_program(real_cmd, RECORDING_CMD % (cmd_args, os.path.join(job.system_folder, "standin-cmd")))

        job.run(WUSA_EXIT_CODE="3010", PATH=planted + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"))
        self.assertFalse(os.path.exists(os.path.join(planted, "planted-ran.txt")),
                         "a program found by the search ran")
        self.assertReport(job, 6, 1, "")
        # The command line's form: only the two programs' paths are new.
        with open(cmd_args) as f:
            self.assertEqual(f.read().splitlines(), ["/c", SYSTEM_FOLDER + "\\wusa.exe", job.windows_path(PACKAGE),
                                                     "/quiet", "/norestart"])
        self.assertEqual(job.installer_args, [job.windows_path(PACKAGE), "/quiet", "/norestart", ""])
        self.assertEqual(job.console, SEARCH_LINE + "Success")


class InstallerStartFailureTest(InstallerTestCase):
    def test_installer_that_cannot_be_started_is_reported_and_printed_with_the_reason(self):
        def missing(job):
            os.remove(os.path.join(job.system_folder, "cmd.exe"))

        def not_executable(job):
            os.chmod(os.path.join(job.system_folder, "cmd.exe"), stat.S_IRUSR | stat.S_IWUSR)

        def a_folder(job):
            missing(job)
            os.makedirs(os.path.join(job.system_folder, "cmd.exe"))

        for spoil, reason in ((missing, NOT_FOUND), (not_executable, ACCESS_DENIED), (a_folder, ACCESS_DENIED)):
            with self.subTest(cmd=spoil.__name__):
                job = self.standalone_job(PACKAGE)
                spoil(job)
                job.run(WUSA_EXIT_CODE="0")
                self.assertReport(job, -6, 0, reason)
                self.assertIsNone(job.installer_args)
                self.assertEqual(job.console, SEARCH_LINE + reason + "\r\nSuccess")


if __name__ == "__main__":
    unittest.main()
