"""The Windows executable against Wine's own components instead of this
build's stand-ins: no update agent registered at all, Wine's own update agent
(wuapi.dll), and Wine's own cmd.exe and wusa.exe from the prefix's system
folder. Code that nobody here wrote answers, and each job still ends cleanly:
it fails with the description of Wine's answer, sends one report, exits with
0 and leaves no program running. The simulated agent's registration is
taken away for the agent's tests and put back after them."""

import os
import select
import time
import unittest

import wine_harness as wine
from harness import NO_PARTNER_LIMIT, StatusServer, job_args
from test_deploy import JOB, STANDALONE_TITLE, UPDATE_ID, update
from test_wine_deploy import WineJob

REGDB_E_CLASSNOTREG = 0x80040154
E_NOTIMPL = 0x80004001
# Wine's wusa.exe cannot install the package and exits with 1.
WINE_INSTALLER_FAILURE = "Exit Code-->0x1"
# Wine's background programs, which run in every prefix whatever a job does.
WINE_SERVICES = {"wineserver64", "services.exe", "explorer.exe", "winedevice.exe", "plugplay.exe", "svchost.exe",
                 "rpcss.exe"}


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


def regsvr32(dll, *options):
    wine._wine(["regsvr32", "/s"] + list(options) + [dll])


def registered_update_session():
    """The in-process server registered for the update session class, as the
    registry holds it; None when the class is not registered."""
    code, out = wine._wine(["reg", "query", "HKLM\\Software\\Classes\\CLSID\\%s\\InprocServer32"
                            % wine.CLSID_UPDATE_SESSION], check=False)
    return out.decode("utf-8", "replace").lower() if code == 0 else None


def prefix_programs():
    """The processes running in the test prefix: process id -> program name
    (lower case, without its folder). A process whose environment cannot be
    read any more (one that has ended) is not counted."""
    marker = ("WINEPREFIX=" + wine.PREFIX).encode()
    programs = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if marker not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                program = f.read().split(b"\0", 1)[0].decode("utf-8", "replace")
        except OSError:
            continue
        programs[int(entry)] = program.replace("\\", "/").rsplit("/", 1)[-1].lower()
    return programs


def still_running(pids, limit=NO_PARTNER_LIMIT):
    """Waits for each process to end, woken by its end; returns those that
    have not ended when limit runs out."""
    deadline = time.monotonic() + limit
    running = []
    for pid in pids:
        try:
            ended = os.pidfd_open(pid)
        except ProcessLookupError:
            continue
        try:
            if not select.select([ended], [], [], max(0, deadline - time.monotonic()))[0]:
                running.append(pid)
        finally:
            os.close(ended)
    return running


class OwnComponentsJob(WineJob):
    """A job run from a current folder that holds no program (the job's own
    drive): cmd.exe and wusa.exe can only be Wine's, however they are looked
    up. Keeps what the run left running apart from Wine's own background
    programs."""

    def run(self, **env):
        self.env.update(env)
        wine.map_drive(self.root)
        before = prefix_programs()
        with StatusServer() as server:
            result = wine.run_windows(wine.WORKER, job_args(server.port, update_id=UPDATE_ID, job=JOB,
                                                            drive=wine.DRIVE), env=self.env, cwd=self.root)
        started = {pid: name for pid, name in prefix_programs().items()
                   if pid not in before and name not in WINE_SERVICES}
        self.left_running = [started[pid] for pid in still_running(started)]
        return self.record(result, server)


class OwnComponentsTestCase(unittest.TestCase):
    def assertFailedCleanly(self, job, description):
        self.assertEqual(job.result.returncode, 0)
        self.assertEqual((job.report["nJobID"], job.report["nStatus"], job.report["nRebootRequired"]),
                         (JOB, "-6", "0"))
        self.assertEqual(job.report["strErrorDescription"], description)
        self.assertTrue(job.console.endswith("Success"), job.console)
        self.assertEqual(job.left_running, [])


class NoUpdateAgent(OwnComponentsTestCase):
    """Nothing is registered for the update agent's classes."""

    @classmethod
    def setUpClass(cls):
        cls.addClassCleanup(regsvr32, wine.windows_path(wine.SIM_SERVER))
        regsvr32(wine.windows_path(wine.SIM_SERVER), "/u")
        if registered_update_session() is not None:
            raise RuntimeError("the update session class is still registered")

    def test_job_fails_as_class_not_registered(self):
        job = OwnComponentsJob(self)
        job.scan_package([update()])
        job.run()
        self.assertFailedCleanly(job, "Error description:" + wine.describe(REGDB_E_CLASSNOTREG))
        self.assertEqual(job.console, "Success")


class WineUpdateAgent(OwnComponentsTestCase):
    """Wine's wuapi.dll serves the update session: it has no service manager
    for the scan package, and its searcher does not search."""

    @classmethod
    def setUpClass(cls):
        cls.addClassCleanup(regsvr32, wine.windows_path(wine.SIM_SERVER))
        regsvr32(wine.windows_path(wine.SIM_SERVER), "/u")
        regsvr32("wuapi.dll")
        if "wuapi.dll" not in (registered_update_session() or ""):
            raise RuntimeError("Wine's update agent did not register")

    def test_scan_package_needs_a_service_manager_wine_lacks(self):
        job = OwnComponentsJob(self)
        job.scan_package([update()])
        job.run()
        self.assertFailedCleanly(job, "Error description:" + wine.describe(REGDB_E_CLASSNOTREG))
        self.assertEqual(job.console, "ReleasePatchScanPointers - EntryReleasePatchScanPointers - ExitSuccess")

    def test_search_is_not_implemented(self):
        # Without the scan package the job searches Microsoft Update.
        job = OwnComponentsJob(self)
        job.run()
        self.assertFailedCleanly(job, "Error description:" + wine.describe(E_NOTIMPL))
        self.assertRegex(job.console, r"\r\nFailed to perform Search GetLastError: \d+\. Error: 0x%X  "
                                      r"ReleasePatchScanPointers - Entry" % E_NOTIMPL)


class WineInstaller(OwnComponentsTestCase):
    """The simulated agent finds a standalone update; Wine's own cmd.exe
    starts Wine's own wusa.exe on a package it cannot install."""

    def test_package_wine_cannot_install(self):
        for name, content in (("empty", b""), ("not a package", b"not a Windows update package")):
            with self.subTest(name):
                job = OwnComponentsJob(self)
                job.scan_package([update(title=STANDALONE_TITLE)])
                job.job_file("windows11.0-kb5068861-x64.msu", content)
                job.run()
                self.assertFailedCleanly(job, WINE_INSTALLER_FAILURE)
                self.assertIsNone(job.installer_args, "this build's stand-in installer did not run")
                self.assertEqual(job.calls("IUpdateInstaller::Install"), [])


if __name__ == "__main__":
    unittest.main()
