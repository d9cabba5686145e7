"""A deployment job end to end: the built worker against the simulated update
agent (its catalog is the offline scan package on the temporary drive), the
stand-in installer started through the stand-in command interpreter, and a
real loopback status server that receives the job's report. Every scenario
reads the agent's journal; the harness checks after every run that no agent
object is left alive."""

import json
import os
import tempfile
import unittest

from harness import StatusServer, check_agent_released, error_texts, install_standins, job_args, run_worker

ERROR_TEXTS = error_texts()

UPDATE_ID = "3f1c9a52-6b0e-4d8a-9f7e-2c5b8d1e4a60"
BUNDLED_1 = "a1b2c3d4-0000-4000-8000-000000000001"
BUNDLED_2 = "a1b2c3d4-0000-4000-8000-000000000002"
SCAN_SERVICE_ID = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"
MICROSOFT_UPDATE = "7971f918-a847-4430-9279-4a52d1efe18d"
JOB = "42"

STANDALONE_TITLE = "2026-11 Cumulative Update for Windows 11 Version 24H2 for x64-based Systems (KB5068861)"
COMPATIBILITY_TEXT = ("The compatibility checks detected issues that require resolution before the upgrade "
                      "can continue")
OPTION_TEXT = " The installation option (upgrade or data only) was not available."
RELEASE_SCAN = "ReleasePatchScanPointers - EntryReleasePatchScanPointers - Exit"
RELEASE_BOTH = RELEASE_SCAN + "ReleasePatchDeployPointers - EntryReleasePatchDeployPointers - Exit"


def describe(code):
    """The failure text that the worker writes for a result code: the text of
    the table file's row, or for a code outside the table (none used here has
    a system message on Linux) the code in parentheses."""
    text = ERROR_TEXTS.get(code)
    return "Error description:" + ("(%08X) " % code if text is None else text)


def update(update_id=UPDATE_ID, title="Security Update for Contoso Runtime (KB5000001)", **fields):
    entry = {"id": update_id, "title": title}
    entry.update(fields)
    return entry


class Job:
    """One deployment job's world: a temporary drive C with the agent's
    folders and the stand-in cmd.exe and wusa.exe in its system folder, the
    agent's journal, the arguments the stand-in installer was given, and the
    run's outcome."""

    drive = "C"

    def __init__(self, test):
        self._tmp = tempfile.TemporaryDirectory()
        test.addCleanup(self._tmp.cleanup)
        self.root = self._tmp.name
        self.orv = os.path.join(self.root, "C", "ORV")
        self.job_folder = os.path.join(self.orv, JOB)
        self.journal_file = os.path.join(self.root, "journal.log")
        self.env = {
            "WORKER_DRIVE_ROOT": self.root,
            "WUA_SIM_JOURNAL": self.journal_file,
            "WUSA_ARGS_FILE": os.path.join(self.root, "wusa-args.txt"),
        }
        self.system_folder = self.install_standins()

    def install_standins(self):
        return install_standins(self.root)

    def windows_path(self, name, job=JOB):
        """A file of the job folder as the worker names it."""
        return "%s:\\ORV\\%s\\%s" % (self.drive, job, name)

    def scan_package(self, updates, service_id=SCAN_SERVICE_ID):
        folder = os.path.join(self.orv, "PatchDeploy")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "wsusscn2.cab"), "w") as f:
            json.dump({"service_id": service_id, "updates": updates}, f)

    def online_catalog(self, updates):
        path = os.path.join(self.root, "microsoft-update.json")
        with open(path, "w") as f:
            json.dump({"updates": updates}, f)
        self.env["WUA_SIM_ONLINE_CATALOG"] = path

    def job_file(self, name, content=b"content"):
        os.makedirs(self.job_folder, exist_ok=True)
        with open(os.path.join(self.job_folder, name), "wb") as f:
            f.write(content)

    def run(self, update_id=UPDATE_ID, job=JOB, drive=None, **env):
        self.env.update(env)
        with StatusServer() as server:
            drive = self.drive if drive is None else drive
            result = run_worker(job_args(server.port, update_id=update_id, job=job, drive=drive),
                                env=self.env)
        return self.record(result, server)

    def record(self, result, server):
        """Keeps a finished run: its console, its one report, the journal
        (which must show no agent object left alive) and the installer's
        arguments (None when it did not run)."""
        self.result = result
        assert len(server.requests) == 1, "one report per job: %r" % result.text
        self.report = server.requests[0].report()
        self.console = result.text
        self.journal = []
        if os.path.exists(self.journal_file):
            with open(self.journal_file, encoding="utf-8") as f:
                self.journal = f.read().splitlines()
        check_agent_released(self.journal)
        self.installer_args = None
        args_file = os.path.join(self.root, "wusa-args.txt")
        if os.path.exists(args_file):
            with open(args_file, encoding="utf-8") as f:
                self.installer_args = f.read().splitlines()
        return self

    def calls(self, subject):
        """The journal's argument objects of every call of subject."""
        found = []
        for line in self.journal:
            if line.startswith(subject + " {"):
                found.append(json.loads(line[len(subject) + 1:line.rindex(" -> ")]))
        return found

    def results(self, subject):
        return [line.rsplit(" -> ", 1)[1] for line in self.journal if line.startswith(subject + " {")]


class DeployTestCase(unittest.TestCase):
    def job(self):
        return Job(self)

    def assertReport(self, job, status, reboot, description):
        self.assertEqual(job.result.returncode, 0)
        self.assertEqual(job.report["nStatus"], str(status))
        self.assertEqual(job.report["nRebootRequired"], str(reboot))
        self.assertEqual(job.report["strErrorDescription"], description)
        self.assertEqual(job.report["nJobID"], JOB)


class SearchTest(DeployTestCase):
    def test_package_present_registers_the_scan_package_and_searches_it(self):
        job = self.job()
        job.scan_package([update(installed=True)])
        job.run()
        self.assertReport(job, 6, 0, "")
        self.assertEqual(job.calls("IUpdateSession::put_ClientApplicationID"), [{"value": "Veltrane-PostScan"}])
        self.assertEqual(job.calls("IUpdateServiceManager::AddScanPackageService"),
                         [{"name": "Offline Sync Service", "path": "C:\\ORV\\PatchDeploy\\wsusscn2.cab", "flags": 0,
                           "service_id": SCAN_SERVICE_ID}])
        self.assertEqual(job.calls("IUpdateSearcher::put_ServiceID"), [{"value": SCAN_SERVICE_ID}])
        self.assertEqual(job.calls("IUpdateSearcher::put_ClientApplicationID"), [{"value": "Veltrane-PostScan"}])
        [search] = job.calls("IUpdateSearcher::Search")
        self.assertEqual(search["criteria"], "Type='Software' and UpdateID='%s'" % UPDATE_ID)
        self.assertEqual(search["server_selection"], 3)
        self.assertEqual(search["found"], 1)
        self.assertIn("\r\n\r\nSearching for missing patches. Please wait.\r\n", job.console)

    def test_package_absent_searches_microsoft_update_without_a_service_manager(self):
        job = self.job()
        job.online_catalog([update(installed=True)])
        job.run()
        self.assertReport(job, 6, 0, "")
        self.assertEqual(job.calls("IUpdateSession::put_ClientApplicationID"), [{"value": "VeltraneORV"}])
        created = [call["class"] for call in job.calls("CoCreateInstance")]
        self.assertNotIn("UpdateServiceManager", created)
        self.assertEqual(job.calls("IUpdateSearcher::put_ServiceID"), [{"value": MICROSOFT_UPDATE}])
        self.assertEqual(job.calls("IUpdateSearcher::put_ClientApplicationID"), [])
        [search] = job.calls("IUpdateSearcher::Search")
        self.assertEqual(search["server_selection"], 3)
        self.assertEqual(search["service_id"], MICROSOFT_UPDATE)

    def test_scan_package_service_answering_s_false_fails_the_job(self):
        job = self.job()
        job.scan_package([update()])
        job.run(WUA_SIM_FAULTS="IUpdateServiceManager::AddScanPackageService=1")
        self.assertReport(job, -6, 0, describe(1))
        self.assertIn("\r\nFailure to AddScanPackageService. Error: 0x1ReleasePatchScanPointers - Entry",
                      job.console)
        self.assertEqual(job.calls("IUpdateSession::CreateUpdateSearcher"), [])

    def test_nothing_found_is_success_with_the_description_untouched(self):
        job = self.job()
        job.scan_package([update(update_id=BUNDLED_1)])
        job.run()
        self.assertReport(job, 6, 0, "")
        self.assertIn("update count is 0. return as success.\r\n", job.console)

    def test_installed_update_is_success_without_installation(self):
        job = self.job()
        job.scan_package([update(installed=True, bundled=[update(BUNDLED_1, contents=["http://x/a.cab"])])])
        job.run()
        self.assertReport(job, 6, 0, "")
        self.assertEqual(job.calls("IUpdate::get_BundledUpdates"), [])
        self.assertEqual(job.calls("IUpdateInstaller::Install"), [])

    def test_found_identifier_must_match_the_requested_one_apart_from_letter_case(self):
        job = self.job()
        job.scan_package([update(installed=True)])
        job.run(update_id=UPDATE_ID.upper())
        self.assertReport(job, 6, 0, "")

        # The search finds an update under another identifier.
        job = self.job()
        job.scan_package([update(update_id=BUNDLED_2, installed=True, found_by=[UPDATE_ID])])
        job.run()
        self.assertReport(job, -6, 0, "")
        self.assertEqual(job.calls("IUpdate::get_IsInstalled"), [{"update": BUNDLED_2}])

    def test_update_identifier_or_drive_that_would_change_the_search_is_refused_before_any_agent_call(self):
        invalid_drive = "Invalid drive: it must be a single letter from A to Z."
        for update_id, drive, reason in (
                ("a" * 229, None, "Invalid update identifier: it is 229 characters long"),
                (UPDATE_ID + "' or Type='Software", None, "Invalid update identifier: it contains a quote"),
                (UPDATE_ID, "C:\\ORV\\42\\..\\..\\x", invalid_drive), (UPDATE_ID, "", invalid_drive),
                (UPDATE_ID, "CD", invalid_drive), (UPDATE_ID, "1", invalid_drive)):
            with self.subTest(update_id=update_id, drive=drive):
                job = self.job()
                job.scan_package([update()])
                job.run(update_id=update_id, drive=drive)
                self.assertEqual(job.report["nStatus"], "-6")
                self.assertIn(reason, job.report["strErrorDescription"])
                self.assertEqual([line for line in job.journal if not line.startswith("live-objects")], [])

        # 228 characters still fit the criteria: the search runs.
        job = self.job()
        job.scan_package([update()])
        job.run(update_id="b" * 228)
        [search] = job.calls("IUpdateSearcher::Search")
        self.assertEqual(search["criteria"], "Type='Software' and UpdateID='%s'" % ("b" * 228))


LONG_SEGMENT = "windows11.0-kb5068861-x64-" + "d" * 110 + ".cab"
NO_SLASH_URL = "kb5000001-x64-ndp48.cab"


def cached_update(install=None, bundled=None):
    return update(
        bundled=bundled if bundled is not None else [
            update(BUNDLED_1, contents=[NO_SLASH_URL]),
            update(BUNDLED_2, contents=["http://download.example/c/msdownload/update/" + LONG_SEGMENT]),
        ],
        install=install or {"result_code": 2, "reboot_required": True})


class CachedContentTest(DeployTestCase):
    def prepare(self, **fields):
        job = self.job()
        job.scan_package([cached_update(**fields)])
        job.job_file(NO_SLASH_URL)
        job.job_file(LONG_SEGMENT[:100])
        return job

    def test_content_files_from_the_job_folder_are_cached_and_the_update_installed(self):
        job = self.prepare().run()
        self.assertReport(job, 6, 1, "")
        first = "C:\\ORV\\42\\" + NO_SLASH_URL
        second = "C:\\ORV\\42\\" + LONG_SEGMENT[:100]
        self.assertIn("File path: %s\r\n" % first, job.console)
        self.assertIn("File path: %s\r\n" % second, job.console)
        self.assertEqual(job.calls("IUpdate::CopyToCache"),
                         [{"update": BUNDLED_1, "files": [first]}, {"update": BUNDLED_2, "files": [second]}])
        self.assertEqual(job.calls("IUpdate::AcceptEula"), [{"update": UPDATE_ID}])
        self.assertEqual(job.calls("IUpdateInstaller::Install"), [{"updates": [UPDATE_ID]}])
        self.assertIn("Patch installed. resultcode:2\r\n", job.console)
        # The objects of the first bundled update are released before those
        # of the second are obtained: nothing is left at the end.

        job = self.prepare(install={"result_code": 2, "reboot_required": False}).run()
        self.assertReport(job, 6, 0, "")

    def test_installation_that_succeeded_with_errors_fails_with_the_update_result(self):
        job = self.prepare(install={"result_code": 3, "hresult": "0x80240022"}).run()
        self.assertReport(job, -6, 0, describe(0x80240022))
        self.assertIn("Patch installed. resultcode:3\r\n", job.console)

    def test_missing_content_file_fails_at_the_copy_to_the_cache(self):
        job = self.job()
        job.scan_package([cached_update()])
        job.job_file(NO_SLASH_URL)
        job.run()
        self.assertReport(job, -6, 0, describe(0x80070002))
        self.assertIn("Error 80070002ReleasePatchScanPointers - Entry", job.console)
        self.assertEqual(job.calls("IUpdateInstaller::Install"), [])

    def test_content_name_that_is_not_a_file_name_fails_as_a_missing_file(self):
        # The files that the names would reach are there: only the name fails.
        for segment in ("..\\..\\secret.cab", "C:secret.cab", "..", "."):
            with self.subTest(segment=segment):
                job = self.job()
                job.scan_package([cached_update(bundled=[update(BUNDLED_1, contents=["http://x/" + segment])])])
                job.job_file("secret.cab")
                with open(os.path.join(job.orv, "..", "secret.cab"), "w") as f:
                    f.write("outside the job folder")
                job.run()
                self.assertReport(job, -6, 0, describe(0x8007007B))
                self.assertIn("File path: %s\r\nError 8007007bReleasePatchScanPointers - Entry"
                              % job.windows_path(segment), job.console)
                self.assertEqual(job.calls("IUpdate::CopyToCache"), [])

    def test_release_raising_between_bundled_updates_does_not_fail_the_job(self):
        # The first bundled update's objects are released in the loop, the
        # second's by the release routine, which names the one that raised.
        for interface, reference in (("IUpdateDownloadContent", "pUpdateDownloadContent"),
                                     ("IStringCollection", "lpString"),
                                     ("IUpdateDownloadContentCollection", "pUpdateDownloadContentCollection")):
            with self.subTest(interface=interface):
                job = self.prepare().run(WUA_SIM_FAULTS=interface + "::Release=throw")
                self.assertReport(job, 6, 1, "")
                self.assertEqual(len(job.calls("IUpdate::CopyToCache")), 2)
                self.assertEqual(job.console.count("Exception in"), 1, job.console)
                self.assertIn("Exception in ReleasePatchDeployPointers :: %s->Release()" % reference, job.console)

    def test_bundled_updates_without_content_are_skipped(self):
        job = self.job()
        job.scan_package([cached_update(bundled=[update(BUNDLED_1), update(BUNDLED_2, contents=[NO_SLASH_URL])])])
        job.job_file(NO_SLASH_URL)
        job.run()
        self.assertReport(job, 6, 1, "")
        self.assertEqual([call["update"] for call in job.calls("IUpdate::CopyToCache")], [BUNDLED_2])

        # With no content at all, the update is still installed.
        job = self.job()
        job.scan_package([cached_update(bundled=[update(BUNDLED_1), update(BUNDLED_2)])])
        job.run()
        self.assertReport(job, 6, 1, "")
        self.assertEqual(job.calls("IUpdate::CopyToCache"), [])
        self.assertEqual(job.calls("IUpdateInstaller::Install"), [{"updates": [UPDATE_ID]}])
        self.assertNotIn("File path:", job.console)


class OnlineFallbackTest(DeployTestCase):
    def test_update_without_bundled_updates_is_downloaded_and_installed_by_the_agent(self):
        job = self.job()
        job.scan_package([update(install={"result_code": 2, "reboot_required": True})])
        job.run()
        self.assertReport(job, 6, 1, "")
        self.assertIn("EMPTY downloadURL. Going with FALLBACK online deployment.\r\n"
                      "Download SUCCESS.\r\nInstall SUCCESS.\r\n", job.console)
        self.assertEqual(job.calls("IUpdateDownloader::Download"), [{"updates": [UPDATE_ID]}])
        self.assertEqual(job.calls("IUpdate::AcceptEula"), [])

    def test_failed_download_fails_the_job_without_a_description(self):
        job = self.job()
        job.scan_package([update(download={"result_code": 4, "hresult": "0x80240022"})])
        job.run()
        self.assertReport(job, -6, 0, "")
        self.assertTrue(job.console.endswith("Error code: 0x0Download Return Val:0\r\nDownload failure.\r\n"
                                             + RELEASE_SCAN + "Success"), job.console)
        self.assertEqual(job.calls("IUpdateInstaller::Install"), [])

    def test_failed_installation_is_printed_but_not_described(self):
        job = self.job()
        job.scan_package([update(install={"result_code": 4, "hresult": "0x80240022"})])
        job.run()
        self.assertReport(job, -6, 0, "")
        self.assertIn("Patch installation failed. update result:: 0x80240022Installation fails. Error:"
                      + describe(0x80240022)[len("Error description:"):], job.console)


class StandalonePackageTest(DeployTestCase):
    def run_installer(self, exit_code, package="windows11.0-kb5068861-x64.msu"):
        job = self.job()
        job.scan_package([update(title=STANDALONE_TITLE, bundled=[update(BUNDLED_1, contents=["http://x/a.cab"])])])
        if package:
            job.job_file(package)
        return job.run(WUSA_EXIT_CODE=str(exit_code))

    def test_success_and_restart_exit_codes_report_success_with_a_restart(self):
        for code in (0, 0x240006, 3010, 3011):
            with self.subTest(exit_code=code):
                job = self.run_installer(code)
                self.assertReport(job, 6, 1, "")
                # This way prints nothing of its own: its objects go back
                # without the release routines' lines.
                self.assertEqual(job.console, "\r\n\r\nSearching for missing patches. Please wait.\r\nSuccess")
                self.assertEqual(job.installer_args,
                                 ["C:\\ORV\\42\\windows11.0-kb5068861-x64.msu", "/quiet", "/norestart", ""])
                self.assertEqual(job.calls("IUpdate::get_BundledUpdates"), [])

    def test_other_exit_codes_fail_with_the_installer_message(self):
        for code, description in ((1, "Exit Code-->0x1"), (5, COMPATIBILITY_TEXT), (7, OPTION_TEXT)):
            with self.subTest(exit_code=code):
                job = self.run_installer(code)
                self.assertReport(job, -6, 0, description)

    def test_job_folder_without_a_package(self):
        job = self.run_installer(0, package=None)
        self.assertReport(job, -6, 0, "Unable to get MSU file name.")
        self.assertIsNone(job.installer_args)


class PackageChoiceTest(DeployTestCase):
    """Which entry of the job folder the installer is given, and which names
    it is never given. The Windows suite runs the same tests with the names
    a Windows folder can hold."""

    # Names that cmd would change inside the command line's double quotes.
    UNSAFE_NAMES = ("%PATH%&wusa.exe INJECTED&.msu", 'kb1" & wusa.exe INJECTED & ".msu', "kb1\x07.msu")

    def run_with(self, *entries):
        job = self.job()
        job.scan_package([update(title=STANDALONE_TITLE.upper())])
        for name in entries:
            if name.endswith("/"):
                os.makedirs(os.path.join(job.job_folder, name))
            else:
                job.job_file(name)
        return job.run(WUSA_EXIT_CODE="0")

    def test_first_msu_entry_in_any_letter_case_is_installed(self):
        # Other entries come before and after the package in any order the
        # directory search may have: by name, or by creation either way.
        job = self.run_with("expanded/", "a-readme.txt", "windows11.0-kb5068861-x64.MSU", "z-notes.txt")
        self.assertReport(job, 6, 1, "")
        self.assertEqual(job.installer_args[0], job.windows_path("windows11.0-kb5068861-x64.MSU"))

        job = self.run_with("expanded/", "readme.txt", "package.msu.txt")
        self.assertReport(job, -6, 0, "Unable to get MSU file name.")
        self.assertIsNone(job.installer_args)

    def test_package_name_that_the_command_interpreter_would_change_is_refused(self):
        for name in self.UNSAFE_NAMES:
            with self.subTest(name=name):
                job = self.run_with(name)
                shown = job.windows_path(name.replace("\x07", " "))
                self.assertReport(job, -6, 0, "Invalid MSU file path: it contains a percent sign, a double quote or "
                                  "a control character, which the command interpreter would change: " + shown)
                self.assertIsNone(job.installer_args)


class JobFolderTest(DeployTestCase):
    """A job identifier that is no folder name leads nowhere: nothing of the
    job folder's surroundings is installed or cached."""

    def test_job_identifier_that_leaves_the_job_folder_starts_nothing(self):
        outside = [update(title=STANDALONE_TITLE), cached_update(bundled=[update(BUNDLED_1, contents=["http://x/a.cab"])])]
        for catalog in outside:
            for job_id, reported_job in (("..\\pub", "0"), ("42\\..\\..\\pub", "42"), ("", "0")):
                with self.subTest(job=job_id, title=catalog["title"]):
                    job = self.job()
                    job.scan_package([catalog])
                    for folder in (os.path.join(job.orv, "..", "pub"), job.job_folder):
                        os.makedirs(folder, exist_ok=True)
                        for name in ("planted.msu", "a.cab"):
                            with open(os.path.join(folder, name), "w") as f:
                                f.write("planted")
                    job.run(job=job_id, WUSA_EXIT_CODE="0")
                    self.assertEqual((job.report["nStatus"], job.report["nJobID"]), ("-6", reported_job))
                    self.assertEqual(job.report["strErrorDescription"],
                                     "Invalid job identifier: it is not a valid folder name.")
                    self.assertIsNone(job.installer_args)
                    self.assertEqual(job.calls("IUpdate::CopyToCache"), [])
                    self.assertEqual(job.calls("IUpdateInstaller::Install"), [])


class FailedStepTest(DeployTestCase):
    """A failing agent call at each step ends the job with its own console
    line and description, and every object obtained so far is released. A
    step that answers S_OK without its object ("=null") fails with
    E_POINTER, never with the text of success."""

    def test_each_failed_step(self):
        cached = [cached_update()]
        online = [update()]
        null = describe(0x80004003)
        cases = [
            # (catalog, injected fault, console text, description)
            (cached, "CoCreateInstance:UpdateSession=0x80040154", None, describe(0x80040154)),
            (cached, "CoCreateInstance:UpdateSession=null", None, null),
            (cached, "CoCreateInstance:UpdateServiceManager=null", None, null),
            (cached, "IUpdateServiceManager::AddScanPackageService=null",
             "\r\nFailure to AddScanPackageService. Error: 0x80004003ReleasePatchScanPointers", null),
            (cached, "IUpdateSession::CreateUpdateSearcher=null",
             "\r\nFailed to create UpdateSearcher. Error 0x80004003ReleasePatchScanPointers", null),
            (cached, "IUpdateSearcher::Search=null",
             "\r\nFailed to perform Search GetLastError: 0. Error: 0x80004003  ReleasePatchScanPointers", null),
            (cached, "ISearchResult::get_Updates=null", None, null),
            (cached, "CoCreateInstance:UpdateCollection=null", None, null),
            (cached, "IUpdate::QueryInterface#1=null", None, null),
            (cached, "IUpdateCollection::get_Item#2=null",
             "retUpdate is null :: Bundled update didnt get any item for this patch\r\n", null),
            (cached, "CoCreateInstance:StringCollection=null", None, null),
            (cached, "IUpdate::QueryInterface#2=null", "Error 80004003", null),
            (cached, "IUpdateSession::CreateUpdateInstaller=null", None, null),
            (cached, "IUpdateInstaller::Install=null", "Error: 0x80004003", null),
            (cached, "IUpdateSession::CreateUpdateSearcher=0x80004005",
             "\r\nFailed to create UpdateSearcher. Error 0x80004005ReleasePatchScanPointers", describe(0x80004005)),
            (cached, "IUpdateSearcher::Search=0x8024402C",
             "\r\nFailed to perform Search GetLastError: 0. Error: 0x8024402C  ReleasePatchScanPointers",
             describe(0x8024402C)),
            (cached, "CoCreateInstance:UpdateCollection=0x8007000E", None, describe(0x8007000E)),
            (cached, "IUpdateCollection::get_Item#1=null", "lpUpdate is null\r\n", null),
            (cached, "IUpdate::get_Identity=0x80004005", None, ""),
            (cached, "IUpdate::get_BundledUpdates=0x80004005", None, ""),
            (cached, "IUpdateCollection::get_Item#2=0x8002000B",
             "retUpdate is null :: Bundled update didnt get any item for this patch\r\n", describe(0x8002000B)),
            (cached, "IUpdate::get_DownloadContents=null",
             "retVal is null :: Not able to get the downloadcontents \r\n", null),
            (cached, "CoCreateInstance:StringCollection=0x8007000E", None, describe(0x8007000E)),
            (cached, "IUpdateDownloadContentCollection::get_Item=null",
             "retItem is null :: Not able to get the download url\r\n",
             "Patch deploy failed. Unable to get the download URL."),
            (cached, "IStringCollection::Add=0x80070057", "Error 80070057", describe(0x80070057)),
            (cached, "IUpdateInstaller::put_Updates=0x80004005", None, ""),
            (cached, "IUpdateInstaller::Install=0x80240022", "Error: 0x80240022", describe(0x80240022)),
            (cached, "IInstallationResult::get_ResultCode=0x80004005,IInstallationResult::GetUpdateResult=0x80004004",
             "Patch installed. resultcode:0\r\n", describe(0x80004004)),
            # The online way's exits run the release routines as each step
            # calls for: both, or only the scan-phase one.
            (online, "IUpdateSession::CreateUpdateDownloader=0x80004005",
             "FAIL CreateUpdateDownloader:0x80004005\r\n" + RELEASE_BOTH + "Success", ""),
            (online, "IUpdateDownloader::put_Updates=0x80004005",
             "FAIL put_Updates for Download:0x80004005\r\n" + RELEASE_BOTH + "Success", ""),
            (online, "IUpdateDownloader::Download=0x80240022",
             "FAIL Download:0x80240022\r\n" + RELEASE_SCAN + "Success", ""),
            (online, "IUpdateSession::CreateUpdateInstaller=0x80004005",
             "FAIL CreateUpdateInstaller:0x80004005\r\n" + RELEASE_SCAN + "Success", ""),
            (online, "IUpdateInstaller::put_Updates=0x80004005",
             "FAIL put_Updates for Install:0x80004005\r\n" + RELEASE_SCAN + "Success", ""),
            (online, "IUpdateInstaller::Install=0x80240022",
             "FAIL Install:0x80240022\r\n" + RELEASE_BOTH + "Success", ""),
            (online, "IUpdateSession::CreateUpdateDownloader=null",
             "FAIL CreateUpdateDownloader:0x80004003\r\n" + RELEASE_BOTH + "Success", ""),
            (online, "IUpdateDownloader::Download=null", "FAIL Download:0x80004003\r\n" + RELEASE_SCAN + "Success", ""),
            (online, "IUpdateSession::CreateUpdateInstaller=null",
             "FAIL CreateUpdateInstaller:0x80004003\r\n" + RELEASE_SCAN + "Success", ""),
            (online, "IUpdateInstaller::Install=null", "FAIL Install:0x80004003\r\n" + RELEASE_BOTH + "Success", ""),
        ]
        for catalog, fault, console, description in cases:
            with self.subTest(fault=fault):
                job = self.job()
                job.scan_package(catalog)
                job.job_file(NO_SLASH_URL)
                job.job_file(LONG_SEGMENT[:100])
                job.run(WUA_SIM_FAULTS=fault)
                self.assertReport(job, -6, 0, description)
                if console:
                    self.assertIn(console, job.console)


if __name__ == "__main__":
    unittest.main()
