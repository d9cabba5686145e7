"""The report spool's rules under Wine, where the Windows file system's own
rules apply: a record that another program holds open with each share mode,
spool folders that are links to another folder, and two workers started for
the same job. Jobs whose server refuses are stopped in their first pause
rather than waiting out Wine's real 60-second pauses."""

import ctypes
import os
import select
import shutil
import signal
import struct
import tempfile
import time
import unittest

import wine_harness as wine
from harness import SPOOL_LOCK_FILE, StatusServer, unused_port
from test_spool import INTERRUPTED, SEARCH_BLOCKS, UNAVAILABLE, job_ids, newest_record
import test_spool_faults
from test_spool_faults import ALREADY_RUNNING
from test_wine_spool import WineDrive

# The update agent cannot be created: the job fails before its catalog
# matters, the same way on every drive.
AGENT_FAILS = {"WUA_SIM_FAULTS": "CoCreateInstance=0x80004005"}
DAY = 24 * 3600


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


def spool_path(drive, name):
    """The Windows path of a file of the drive's spool folder."""
    return "%s:\\ORV\\PatchDeploy\\Reports\\%s" % (wine.DRIVE, name)


def leave_interrupted_record(drive, job):
    """Starts the job blocked in the update agent, so that its record says it
    was interrupted, and kills it there; returns the record's name."""
    worker = drive.start(unused_port(), job, **SEARCH_BLOCKS)
    try:
        drive.wait_for_journal("IUpdateSearcher::Search", worker)
    finally:
        worker.send_signal(signal.SIGKILL)
        worker.wait()
        worker.stdout.close()
    return newest_record(drive.files(), job)


def request_summaries(*servers):
    """(job, status, description) of each request the servers received, in
    the order they came."""
    return [(r["nJobID"], r["nStatus"], r["strErrorDescription"])
            for server in servers for r in (request.report() for request in server.requests)]


class HeldRecords(unittest.TestCase):
    def test_record_held_by_another_program_is_never_delivered_after_the_acknowledged_outcome(self):
        # The job's interrupted record (of its previous run) is held while
        # the job runs again, writes its outcome beside it and has it
        # acknowledged; the records that stay are the next job's to deliver.
        for share in ("r", "rw", "rwd"):
            with self.subTest(share=share):
                drive = WineDrive(self)
                held = leave_interrupted_record(drive, "101")
                self.assertEqual(drive.record("101")["strErrorDescription"], INTERRUPTED)
                with wine.held_file(spool_path(drive, held), "r", share):
                    with StatusServer() as own:
                        run = drive.run(own.port, "101")
                    left = drive.files()
                    newest = drive.record("101") if left else None
                self.assertEqual(run.returncode, 0)
                self.assertTrue(run.text.endswith("Success"), run.text)
                self.assertEqual(job_ids(own), ["101"])
                outcome = own.requests[0].body
                # Without delete sharing the held record cannot go; the
                # newest, the outcome, stays as long as an older one does.
                if "d" not in share:
                    self.assertIn(held, left)
                if left:
                    self.assertEqual(newest["nStatus"], own.requests[0].report()["nStatus"])
                with StatusServer() as later:
                    drive.run(later.port, "102")
                self.assertEqual(job_ids(later)[0], "102")
                self.assertEqual({request.body for request in later.requests[1:]}, {outcome} if left else set())
                self.assertNotIn(INTERRUPTED, [summary[2] for summary in request_summaries(own, later)])
                self.assertEqual(drive.files(), [])


class StaleListing(test_spool_faults.StaleListing):
    JOB_ENV = {}

    def drive(self):
        return WineDrive(self)

    def leave_pending(self, drive, job):
        # Stopped in its first pause, the record holds the outcome; the
        # agent's journal gets no search, which the interrupted job waits for.
        with StatusServer([UNAVAILABLE]) as server:
            text, paused = wine.run_until(drive.args(server.port, job), "Soap failure. ",
                                          env=dict(drive.env, **AGENT_FAILS))
        self.assertTrue(paused, text)

    def leave_interrupted(self, drive, job):
        leave_interrupted_record(drive, job)

    def held(self, drive, name):
        return wine.held_file(spool_path(drive, name), "r", "r")


IN_ALL_EVENTS = 0xFFF
INOTIFY_EVENT = struct.Struct("iIII")


class FolderWatch:
    """Every file-system event (inotify) in the given folders while it is
    open: (folder, event mask, name) for each, the name empty for an event of
    the folder itself."""

    def __init__(self, folders):
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._fd = self._libc.inotify_init1(os.O_CLOEXEC | os.O_NONBLOCK)
        if self._fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self._folders = {}
        for folder in folders:
            wd = self._libc.inotify_add_watch(self._fd, os.fsencode(folder), IN_ALL_EVENTS)
            if wd < 0:
                raise OSError(ctypes.get_errno(), "inotify_add_watch")
            self._folders[wd] = folder

    def events(self):
        """The events so far; closes the watch."""
        found = []
        try:
            while select.select([self._fd], [], [], 0)[0]:
                data = os.read(self._fd, 65536)
                offset = 0
                while offset < len(data):
                    wd, mask, _, length = INOTIFY_EVENT.unpack_from(data, offset)
                    offset += INOTIFY_EVENT.size
                    name = data[offset:offset + length].rstrip(b"\0").decode()
                    offset += length
                    found.append((self._folders.get(wd), mask, name))
        finally:
            os.close(self._fd)
        return found


def snapshot(folder):
    """Every file under folder with its content and modification time."""
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = (f.read(), os.stat(path).st_mtime_ns)
    return files


class LinkedFolders(unittest.TestCase):
    def reference(self):
        """The console and request of the job on a drive without the agent's
        install directory, where nothing is spooled."""
        drive = WineDrive(self)
        shutil.rmtree(drive.orv)
        with StatusServer() as server:
            run = drive.run(server.port, "42", **AGENT_FAILS)
        self.assertFalse(os.path.exists(drive.orv))
        self.assertEqual(len(server.requests), 1)
        return run.text, server.requests[0].body

    def records_of_another_job(self):
        """A record that job 6 left (its server refused it) and the same as
        job 5's."""
        drive = WineDrive(self)
        with StatusServer([UNAVAILABLE]) as server:
            text, paused = wine.run_until(drive.args(server.port, "6"), "Soap failure. ", env=drive.env)
        self.assertTrue(paused, text)
        with open(drive.record_path("6"), encoding="utf-8") as f:
            six = f.read()
        return six.replace("<nJobID>6</nJobID>", "<nJobID>5</nJobID>"), six

    def test_spool_folder_that_is_a_link_is_not_used_and_its_target_is_left_alone(self):
        expected = self.reference()
        five, six = self.records_of_another_job()
        for linked in ("Reports", "PatchDeploy"):
            with self.subTest(linked=linked):
                drive = WineDrive(self)
                elsewhere = tempfile.TemporaryDirectory()
                self.addCleanup(elsewhere.cleanup)
                # The folder that the link leads to, with the records inside
                # it where the spool would look for them.
                target = os.path.join(elsewhere.name, linked)
                records = os.path.join(target, "Reports") if linked == "PatchDeploy" else target
                os.makedirs(records)
                for name, text, age in (("5.xml", five, 40 * DAY), ("6.xml", six, 60)):
                    with open(os.path.join(records, name), "w", encoding="utf-8") as f:
                        f.write(text)
                    os.utime(os.path.join(records, name), (time.time() - age,) * 2)
                link = drive.reports if linked == "Reports" else os.path.dirname(drive.reports)
                if linked == "PatchDeploy":
                    shutil.rmtree(link)
                os.symlink(target, link)
                before = snapshot(elsewhere.name)
                watch = FolderWatch({target, records})
                with StatusServer() as server:
                    run = drive.run(server.port, "42", **AGENT_FAILS)
                events = watch.events()
                self.assertEqual(run.returncode, 0)
                self.assertEqual((run.text, server.requests[0].body), expected)
                self.assertEqual(len(server.requests), 1)
                self.assertEqual(snapshot(elsewhere.name), before)
                self.assertFalse(os.path.exists(os.path.join(records, SPOOL_LOCK_FILE)))
                self.assertEqual([event for event in events if event[2]], [])
                self.assertTrue(os.path.islink(link))


class OthersFolder(unittest.TestCase):
    def test_spool_folder_writable_by_all_is_not_used(self):
        drive = WineDrive(self)
        self.assertEqual(os.path.basename(leave_interrupted_record(drive, "50")), "50.1.xml")
        os.chmod(drive.reports, 0o777)
        left = drive.files()
        with StatusServer() as server:
            drive.run(server.port, "51", **AGENT_FAILS)
        self.assertEqual(job_ids(server), ["51"])
        self.assertEqual(drive.files(), left)


class SameJobTwice(unittest.TestCase):
    def test_second_worker_for_a_running_job_sends_nothing_and_the_first_ones_record_comes_later(self):
        drive = WineDrive(self)
        first = drive.start(unused_port(), "201", **SEARCH_BLOCKS)
        second_journal = os.path.join(drive.root, "second-journal.log")
        with StatusServer() as server:
            try:
                drive.wait_for_journal("IUpdateSearcher::Search", first)
                with open(drive.record_path("201"), "rb") as f:
                    interrupted = f.read()
                second = drive.run(server.port, "201", WUA_SIM_FAULTS="",
                                   WUA_SIM_JOURNAL=wine.DRIVE + ":\\second-journal.log")
                self.assertEqual(second.returncode, 0)
                self.assertEqual(second.text, ALREADY_RUNNING + "\r\n")
                self.assertEqual(server.requests, [])
                # It deployed nothing: it never created the update agent.
                self.assertFalse(os.path.exists(second_journal))
                self.assertIsNone(first.poll())
                self.assertEqual(drive.files(), ["201.1.xml", "201.2.xml.tmp"])
                with open(drive.record_path("201"), "rb") as f:
                    self.assertEqual(f.read(), interrupted)
            finally:
                first.send_signal(signal.SIGKILL)
                first.wait()
                first.stdout.close()
            drive.run(server.port, "203")
        self.assertEqual(request_summaries(server),
                         [("203", "6", ""), ("201", "-6", INTERRUPTED)])
        self.assertEqual(server.requests[1].report()["nRebootRequired"], "0")
        self.assertEqual(drive.files(), [])


if __name__ == "__main__":
    unittest.main()
