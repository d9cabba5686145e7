"""The standalone installer of the Windows executable under Wine: cmd.exe and
wusa.exe are started from the system folder by their full paths, so that
programs of the same names beside the worker or in its current folder,
which a search by name would find first, never run; and an installer that
cannot be started is reported and printed with the system's reason (Wine's
text for the error, from its FormatMessageW). Wine's own cmd.exe runs the
stand-in wusa.exe of this build."""

import os
import shutil
import tempfile
import unittest

import wine_harness as wine
from harness import StatusServer, job_args
from test_deploy import JOB, STANDALONE_TITLE, UPDATE_ID, update
from test_installer import PACKAGE, SEARCH_LINE, START_FAILURE
from test_wine_deploy import JOB_FOLDER, StandinInstallerTestCase, WineJob

# A program that records how it was started beside itself (its own path with
# ".record" appended): the tray stand-in of this build.
RECORDING_PROGRAM = os.path.join(wine.STANDINS, "VeltraneORVTray.exe")


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class PlantedFoldersJob(WineJob):
    """A standalone job run by a copy of the worker that lies in a folder of
    its own, from a current folder of its own: both hold a cmd.exe and a
    wusa.exe that record whether they ran."""

    def __init__(self, test):
        super().__init__(test)
        self.scan_package([update(title=STANDALONE_TITLE)])
        self.job_file(PACKAGE)
        self.worker_folder = tempfile.mkdtemp(dir=self.root)
        self.current_folder = tempfile.mkdtemp(dir=self.root)
        self.worker = os.path.join(self.worker_folder, "patch_worker.exe")
        shutil.copy2(wine.WORKER, self.worker)
        for folder in (self.worker_folder, self.current_folder):
            for name in ("cmd.exe", "wusa.exe"):
                shutil.copy2(RECORDING_PROGRAM, os.path.join(folder, name))

    def run(self, **env):
        self.env.update(env)
        wine.map_drive(self.root)
        with StatusServer() as server:
            result = wine.run_windows(self.worker, job_args(server.port, update_id=UPDATE_ID, job=JOB, drive=wine.DRIVE), env=self.env,
                                      cwd=self.current_folder)
        return self.record(result, server)

    def planted_runs(self):
        return [name for folder in (self.worker_folder, self.current_folder) for name in os.listdir(folder)
                if name.endswith(".record")]


class InstallerProgramsTest(StandinInstallerTestCase):
    def test_cmd_and_wusa_are_started_from_the_system_folder_not_found_by_name(self):
        job = PlantedFoldersJob(self)
        job.run(WUSA_EXIT_CODE="3010")
        self.assertEqual(job.planted_runs(), [])
        self.assertReport(job, 6, 1, "")
        self.assertEqual(job.installer_args, [JOB_FOLDER + PACKAGE, "/quiet", "/norestart", ""])
        self.assertEqual(job.console, SEARCH_LINE + "Success")


class InstallerStartFailureTest(StandinInstallerTestCase):
    def test_installer_that_cannot_be_started_is_reported_and_printed_with_the_reason(self):
        job = PlantedFoldersJob(self)
        with wine.system_program_missing("cmd.exe"):
            job.run(WUSA_EXIT_CODE="0")
        # Wine's text for ERROR_FILE_NOT_FOUND, as the lookup tool of this
        # build shows it after the code in parentheses.
        description = START_FAILURE + wine.describe(2).split(") ", 1)[1].rstrip()
        self.assertReport(job, -6, 0, description)
        self.assertEqual(job.console, SEARCH_LINE + description + "\r\nSuccess")
        self.assertIsNone(job.installer_args)
        self.assertEqual(job.planted_runs(), [])


if __name__ == "__main__":
    unittest.main()
