"""Deployment jobs of the Windows executable under Wine: the simulated update
agent served through real COM (CoCreateInstance of the registered in-process
server), the job's files on a Wine drive, the standalone installer started
through Wine's own `cmd /c` from the system folder, the job folder read
with the real FindFirstFileW, and the report received by the loopback
status server. The catalogs, journal and expectations are those of the
Linux suite (tests/e2e/test_deploy.py); only the drive (W: instead of C:)
differs."""

import os
import re
import unittest
from unittest import mock

import wine_harness as wine
import test_deploy
from harness import StatusServer, job_args
from test_deploy import (BUNDLED_1, BUNDLED_2, COMPATIBILITY_TEXT, JOB, LONG_SEGMENT, NO_SLASH_URL, SCAN_SERVICE_ID,
                         STANDALONE_TITLE, UPDATE_ID, Job, cached_update, update)

JOB_FOLDER = wine.DRIVE + ":\\ORV\\" + JOB + "\\"


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class WineJob(Job):
    """The Linux suite's job with its temporary folder as drive W:, the
    journal, the installer's record and the online catalog addressed by
    their W: paths."""

    drive = wine.DRIVE

    def __init__(self, test):
        super().__init__(test)
        self.orv = os.path.join(self.root, "ORV")
        self.job_folder = os.path.join(self.orv, JOB)
        self.env = {"WUA_SIM_JOURNAL": wine.DRIVE + ":\\journal.log", "WUSA_ARGS_FILE": wine.DRIVE + ":\\wusa-args.txt"}

    def install_standins(self):
        """The prefix's system folder holds the programs (standin_installer)."""
        return wine.SYSTEM32

    def online_catalog(self, updates):
        super().online_catalog(updates)
        self.env["WUA_SIM_ONLINE_CATALOG"] = wine.DRIVE + ":\\microsoft-update.json"

    def run(self, update_id=UPDATE_ID, job=JOB, drive=None, **env):
        self.env.update(env)
        wine.map_drive(self.root)
        with StatusServer() as server:
            drive = wine.DRIVE if drive is None else drive
            result = wine.run_worker(job_args(server.port, update_id=update_id, job=job, drive=drive),
                                     env=self.env)
        return self.record(result, server)


class WineTestCase(test_deploy.DeployTestCase):
    """The Linux suite's checks of a job: its report, and the journal's last
    line, which the simulated agent writes when its DLL is unloaded at
    process exit. Descriptions that the Linux suite's tests expect come from
    the Windows build's lookup tool under the same Wine."""

    def job(self):
        return WineJob(self)

    def setUp(self):
        patcher = mock.patch.object(test_deploy, "describe",
                                    lambda code: "Error description:" + wine.describe(code))
        patcher.start()
        self.addCleanup(patcher.stop)


class SearchTest(WineTestCase, test_deploy.SearchTest):
    """The Linux suite's search tests; the one that shows the scan package's
    path sees it on drive W:."""

    def test_package_present_registers_the_scan_package_and_searches_it(self):
        job = self.job()
        job.scan_package([update(installed=True)])
        job.run()
        self.assertReport(job, 6, 0, "")
        self.assertEqual(job.calls("IUpdateServiceManager::AddScanPackageService"),
                         [{"name": "Offline Sync Service", "path": wine.DRIVE + ":\\ORV\\PatchDeploy\\wsusscn2.cab",
                           "flags": 0, "service_id": SCAN_SERVICE_ID}])
        [search] = job.calls("IUpdateSearcher::Search")
        self.assertEqual(search["criteria"], "Type='Software' and UpdateID='%s'" % UPDATE_ID)
        # Every object reached the worker through CoCreateInstance of the
        # registered server.
        self.assertEqual({call["class"] for call in job.calls("CoCreateInstance")},
                         {"UpdateSession", "UpdateServiceManager", "UpdateCollection"})
        self.assertIn("\r\n\r\nSearching for missing patches. Please wait.\r\n", job.console)


class CachedContentTest(WineTestCase, test_deploy.CachedContentTest):
    """The Linux suite's cached-content tests; the one that shows the content
    files' paths sees them on drive W:."""

    def test_content_files_from_the_job_folder_are_cached_and_the_update_installed(self):
        job = self.prepare().run()
        self.assertReport(job, 6, 1, "")
        first = JOB_FOLDER + NO_SLASH_URL
        second = JOB_FOLDER + LONG_SEGMENT[:100]
        self.assertIn("File path: %s\r\n" % first, job.console)
        self.assertIn("File path: %s\r\n" % second, job.console)
        self.assertEqual(job.calls("IUpdate::CopyToCache"),
                         [{"update": BUNDLED_1, "files": [first]}, {"update": BUNDLED_2, "files": [second]}])
        self.assertEqual(job.calls("IUpdateInstaller::Install"), [{"updates": [UPDATE_ID]}])
        self.assertIn("Patch installed. resultcode:2\r\n", job.console)


class OnlineFallbackTest(WineTestCase, test_deploy.OnlineFallbackTest):
    """The Linux suite's online fallback, as it stands: no drive path shows in it."""


class StandinInstallerTestCase(WineTestCase):
    """wusa.exe in the prefix's system folder is the stand-in of this build
    for the length of each test."""

    def setUp(self):
        super().setUp()
        self.enterContext(wine.standin_installer())


class StandalonePackageTest(StandinInstallerTestCase):
    """The stand-in wusa.exe, started by Wine's own cmd."""

    PACKAGE = "windows11.0-kb5068861-x64.msu"

    def run_installer(self, package=PACKAGE, **env):
        job = self.job()
        job.scan_package([update(title=STANDALONE_TITLE, bundled=[update(BUNDLED_1, contents=["http://x/a.cab"])])])
        if package:
            job.job_file(package)
        return job.run(**env)

    def test_exit_codes_of_success_and_restart(self):
        # The full 32-bit code travels from the installer through cmd to the
        # worker: 0x240006 is told apart from other codes by all its bits.
        for code in (0, 0x240006, 3010):
            with self.subTest(exit_code=code):
                job = self.run_installer(WUSA_EXIT_CODE=str(code))
                self.assertReport(job, 6, 1, "")
                self.assertEqual(job.installer_args, [JOB_FOLDER + self.PACKAGE, "/quiet", "/norestart", ""])
                self.assertEqual(job.calls("IUpdate::get_BundledUpdates"), [])

    def test_failing_exit_codes_give_the_installer_message(self):
        for code, description in ((5, COMPATIBILITY_TEXT), (0x80070002, "Exit Code-->0x80070002")):
            with self.subTest(exit_code=code):
                job = self.run_installer(WUSA_EXIT_CODE=str(code))
                self.assertReport(job, -6, 0, description)

    def test_empty_job_folder(self):
        job = self.job()
        job.scan_package([update(title=STANDALONE_TITLE)])
        os.makedirs(job.job_folder)
        job.run()
        self.assertReport(job, -6, 0, "Unable to get MSU file name.")
        self.assertIsNone(job.installer_args)


class PackageChoiceTest(StandinInstallerTestCase, test_deploy.PackageChoiceTest):
    """The package comes from Wine's FindFirstFileW. A Windows name cannot
    hold a double quote or a control character, but it can hold a %: cmd
    would expand the variable inside the quotes."""

    UNSAFE_NAMES = ("%WINDIR%&wusa.exe INJECTED&.msu",)


class JobFolderTest(WineTestCase, test_deploy.JobFolderTest):
    """The job identifier's way out of the job folder, through Wine's paths."""


class SystemMessageTest(WineTestCase):
    """Codes outside the table are described by the system's FormatMessageW.
    Wine's texts differ from Windows' wording, so the form is compared: the
    code in parentheses, then the system's text (or nothing)."""

    def search_failing_with(self, code):
        job = self.job()
        job.scan_package([update()])
        job.run(WUA_SIM_FAULTS="IUpdateSearcher::Search=0x%X" % code)
        self.assertEqual(job.report["nStatus"], "-6")
        self.assertIn("Error: 0x%X  ReleasePatchScanPointers" % code, job.console)
        return job.report["strErrorDescription"]

    def test_code_with_a_system_text(self):
        # ERROR_FILE_NOT_FOUND as a bare Win32 number, which the table lacks.
        description = self.search_failing_with(2)
        self.assertRegex(description, r"^Error description:\(2\) \S")
        self.assertEqual(description.rstrip("\r\n"), "Error description:" + wine.describe(2))

    def test_code_without_a_system_text(self):
        self.assertEqual(self.search_failing_with(0xDEADBEEF), "Error description:(DEADBEEF) ")


class LastErrorAsZeroJob(WineJob):
    """The failed search's line shows the thread's last-error value, which
    is not the worker's own: Wine leaves 183 (ERROR_ALREADY_EXISTS) there
    where the Linux substitute leaves 0. The line is compared with the
    value read as 0, after checking that it is a number."""

    def run(self, *args, **kwargs):
        super().run(*args, **kwargs)
        self.console = re.sub(r"GetLastError: \d+\. ", "GetLastError: 0. ", self.console)
        return self


class FailedStepTest(WineTestCase, test_deploy.FailedStepTest):
    """The Linux suite's failing agent steps, each under Wine: the fault is
    injected into the simulated agent behind Wine's COM, and the
    descriptions come from the Windows build's table."""

    def job(self):
        return LastErrorAsZeroJob(self)


if __name__ == "__main__":
    unittest.main()
