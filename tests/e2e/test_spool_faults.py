"""The report spool against what a user's machine does to it: another
program holding a record (the Linux substitute applies the Windows sharing
rules across processes), a disk that fills while the job reports, and the
agent's service starting a job that is still running. In every case the
server never receives a job's older report after a newer one it
acknowledged, and nothing that was not acknowledged is lost."""

import contextlib
import errno
import fcntl
import os
import signal
import stat
import subprocess
import threading
import time
import unittest

from harness import (ACCEPTED, BINARY_DIR, COM_FAILS, NO_PARTNER_LIMIT, SPOOL_LOCK_FILE, StatusServer, holding,
                     unused_port)
from test_spool import (EVENT_LIMIT, INTERRUPTED, SEARCH_BLOCKS, TIME_LIMIT, UNAVAILABLE, Drive, job_ids,
                        newest_record)

HOLD_FILE = os.path.join(BINARY_DIR, "tests", "hold_file")
ALREADY_RUNNING = "Another worker is already running this job."


@contextlib.contextmanager
def held_file(drive, name, access, share):
    """Holds the spool file name open through the substitute's CreateFileW,
    as another program would, until the block ends."""
    path = "C:\\ORV\\PatchDeploy\\Reports\\" + name
    with holding([HOLD_FILE, access, share, path], path, env=dict(os.environ, WORKER_DRIVE_ROOT=drive.root)):
        yield


def start_blocked(drive, job, **env):
    """Starts the job and returns its process once it is inside the update
    agent, its interrupted record on the disk."""
    worker = drive.start(unused_port(), job, **SEARCH_BLOCKS, **env)
    drive.wait_for_journal("IUpdateSearcher::Search", worker)
    return worker


def kill(worker):
    worker.send_signal(signal.SIGKILL)
    worker.wait(NO_PARTNER_LIMIT)


def summaries(*servers):
    """(job, status, description) of each report the servers received, in order."""
    return [(r["nJobID"], r["nStatus"], r["strErrorDescription"])
            for server in servers for r in (request.report() for request in server.requests)]


class HeldRecords(unittest.TestCase):
    def test_a_held_record_is_never_delivered_after_the_acknowledged_outcome(self):
        for share in ("-", "r", "rw", "rwd"):
            with self.subTest(share=share):
                drive = Drive(self)
                blocked = start_blocked(drive, "101")
                kill(blocked)
                held = newest_record(drive.files(), "101")
                with held_file(drive, held, "r", share):
                    with StatusServer() as own:
                        run = drive.run(own.port, "101", **COM_FAILS)
                    left = drive.files()
                self.assertTrue(run.text.endswith("Success"), run.text)
                self.assertEqual(job_ids(own), ["101"])
                if "d" not in share:
                    # The held record cannot go; the outcome stays with it.
                    self.assertEqual(drive.record("101")["nStatus"], "-6")
                    self.assertNotEqual(drive.record("101")["strErrorDescription"], INTERRUPTED)
                    self.assertIn(held, left)
                with StatusServer() as later:
                    drive.run(later.port, "102", **COM_FAILS)
                reports = summaries(own, later)
                self.assertNotIn(INTERRUPTED, [report[2] for report in reports])
                self.assertEqual({request.body for request in later.requests[1:]},
                                 {own.requests[0].body} if len(left) > 0 else set())
                self.assertEqual(drive.files(), [])


class StaleListing(unittest.TestCase):
    """A delivery lists the folder, and while it sends an earlier job's
    record the next run of a job in its listing delivers that job's outcome,
    whose older record another program holds."""

    JOB_ENV = COM_FAILS

    def drive(self):
        return Drive(self)

    def leave_pending(self, drive, job):
        """Leaves the job's record of a report the server did not take."""
        drive.leave_record(job)

    def leave_interrupted(self, drive, job):
        kill(start_blocked(drive, job))

    def held(self, drive, name):
        return held_file(drive, name, "r", "r")

    def test_a_delivery_sends_the_record_that_is_newest_when_it_takes_the_job(self):
        drive = self.drive()
        self.leave_pending(drive, "100")
        os.utime(drive.record_path("100"), (time.time() - 60,) * 2)
        self.leave_interrupted(drive, "101")
        arrived, proceed = threading.Event(), threading.Event()

        def hold_then_acknowledge(conn, stop):
            arrived.set()
            proceed.wait(EVENT_LIMIT)
            conn.sendall(ACCEPTED)

        with StatusServer([ACCEPTED, hold_then_acknowledge]) as server:
            deliverer = drive.start(server.port, "102", **self.JOB_ENV)
            try:
                self.assertTrue(arrived.wait(EVENT_LIMIT), "job 100's record never arrived")
                with self.held(drive, newest_record(drive.files(), "101")):
                    with StatusServer() as own:
                        drive.run(own.port, "101", **self.JOB_ENV)
                    self.assertEqual(job_ids(own), ["101"])
                    proceed.set()
                    self.assertEqual(deliverer.wait(EVENT_LIMIT), 0)
            finally:
                proceed.set()
                if deliverer.poll() is None:
                    kill(deliverer)
                if deliverer.stdout:
                    deliverer.stdout.close()
        self.assertEqual(job_ids(server), ["102", "100", "101"])
        self.assertEqual(server.requests[2].body, own.requests[0].body)


def small_volume(test, drive):
    """Puts drive C, as it is, on a tmpfs of 1 MiB; returns its folder."""
    if os.geteuid() != 0:
        test.skipTest("mounting a small tmpfs needs root")
    volume = os.path.join(drive.root, "C")
    saved = os.path.join(drive.root, "saved")
    os.rename(volume, saved)
    os.mkdir(volume)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", volume]).returncode != 0:
        test.skipTest("tmpfs cannot be mounted here")
    test.addCleanup(subprocess.run, ["umount", volume])
    subprocess.run(["cp", "-a", os.path.join(saved, "ORV"), volume], check=True)
    return volume


def fill(path):
    """Writes path until the volume is full; returns the error that ended it."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        while True:
            os.write(fd, b"\0" * 4096)
    except OSError as error:
        return error.errno
    finally:
        os.close(fd)


class FullDisk(unittest.TestCase):
    def test_a_disk_that_fills_during_the_attempts_keeps_the_outcome(self):
        drive = Drive(self)
        volume = small_volume(self, drive)
        filler = os.path.join(volume, "filler")
        # What ended the filling: the server's thread cannot fail the test.
        fill_errors = []

        def fill_then_refuse(conn, stop):
            fill_errors.append(fill(filler))
            conn.sendall(UNAVAILABLE)

        with StatusServer([fill_then_refuse] + [UNAVAILABLE] * 4) as server:
            run = drive.run(server.port, "101", **COM_FAILS)
        self.assertEqual(fill_errors, [errno.ENOSPC])
        self.assertEqual(run.text.count("Soap failure. "), 5)
        # The count of attempts could not be written; the outcome stays.
        record = drive.record("101")
        self.assertEqual(record["nStatus"], "-6")
        self.assertTrue(record["strErrorDescription"].startswith("Failed to initialize COM library."))
        self.assertEqual(record["attempts"], "0")
        os.remove(filler)
        with StatusServer() as later:
            drive.run(later.port, "102", **COM_FAILS)
        self.assertEqual(job_ids(later), ["102", "101"])
        self.assertEqual(later.requests[1].body, server.requests[0].body)
        self.assertEqual(drive.files(), [])


    def test_a_disk_that_fills_while_the_job_runs_keeps_its_time_limit_report(self):
        # The disk fills while the job is inside the update agent, before its
        # limit passes: a limit too short for this machine is tried again
        # longer.
        for limit in (2000, 8000, 30000):
            drive = Drive(self)
            volume = small_volume(self, drive)
            worker = drive.start(unused_port(), "101", WORKER_JOB_TIME_LIMIT_MS=str(limit), **SEARCH_BLOCKS)
            drive.wait_for_journal("IUpdateSearcher::Search", worker)
            self.assertEqual(fill(os.path.join(volume, "filler")), errno.ENOSPC)
            in_time = worker.poll() is None
            self.assertEqual(worker.wait(EVENT_LIMIT + limit / 1000), 0)
            if in_time:
                break
        self.assertTrue(in_time)
        self.assertEqual(drive.record("101")["strErrorDescription"], TIME_LIMIT)
        os.remove(os.path.join(volume, "filler"))
        with StatusServer() as later:
            drive.run(later.port, "102", **COM_FAILS)
        self.assertEqual(job_ids(later), ["102", "101"])
        self.assertEqual(later.requests[1].report()["strErrorDescription"], TIME_LIMIT)
        self.assertEqual(drive.files(), [])


class FailedFolderFlush(unittest.TestCase):
    """The folder's flush after a record's rename fails (an I/O error): the
    rename is done although the call failed, and the record counts."""

    def test_a_record_whose_flush_failed_is_never_sent_after_the_outcome(self):
        # The interrupted record's flush, then the outcome's.
        for skip in (0, 1):
            with self.subTest(skip=skip):
                drive = Drive(self)
                with StatusServer() as own:
                    run = drive.run(own.port, "101", WORKER_FILE_FAULTS="flushdir:1117:%d:1:Reports" % skip,
                                    **COM_FAILS)
                self.assertEqual(run.text.count("Success"), 1, run.text)
                self.assertEqual(job_ids(own), ["101"])
                self.assertEqual(drive.files(), [])
                with StatusServer() as later:
                    drive.run(later.port, "102", **COM_FAILS)
                self.assertEqual(job_ids(later), ["102"])


class SameJobTwice(unittest.TestCase):
    """The agent's service restarted while a job was inside the update
    agent, and started it again: the second worker says so on its console,
    deploys nothing, sends nothing and keeps nothing; the first one's report
    is the only word."""

    def check_second_run(self, drive, job):
        before = drive.files()
        with StatusServer() as server:
            second = drive.run(server.port, job, WUA_SIM_FAULTS="", WUA_SIM_JOURNAL=os.path.join(drive.root, "2.log"))
        self.assertEqual(second.returncode, 0)
        self.assertEqual(second.text, ALREADY_RUNNING + "\r\n")
        self.assertFalse(os.path.exists(os.path.join(drive.root, "2.log")))
        self.assertEqual(server.requests, [])
        self.assertEqual(drive.files(), before)

    def test_only_the_running_worker_reports_the_job(self):
        drive = Drive(self)
        first = start_blocked(drive, "201")
        try:
            self.check_second_run(drive, "201")
        finally:
            kill(first)
        with StatusServer() as later:
            drive.run(later.port, "203", **COM_FAILS)
        self.assertEqual(job_ids(later), ["203", "201"])
        self.assertEqual(later.requests[1].report()["strErrorDescription"], INTERRUPTED)
        # The first run reaches its time limit after the second ran: the
        # second run must come while the first is inside the update agent,
        # so a limit too short for this machine is tried again longer.
        for limit in (2000, 8000, 30000):
            drive = Drive(self)
            with StatusServer() as first_server:
                first = drive.start(first_server.port, "211", WORKER_JOB_TIME_LIMIT_MS=str(limit), **SEARCH_BLOCKS)
                drive.wait_for_journal("IUpdateSearcher::Search", first)
                self.check_second_run(drive, "211")
                in_time = first.poll() is None
                first.wait(EVENT_LIMIT + limit / 1000)
            if in_time:
                break
        self.assertTrue(in_time)
        self.assertEqual(summaries(first_server), [("211", "-6", TIME_LIMIT)])
        self.assertEqual(drive.files(), [])


class NamesAtTheirEdges(unittest.TestCase):
    def test_letter_case_the_last_generation_and_a_killed_writes_temporary_file(self):
        drive = Drive(self)
        # Names that differ from the worker's own only in letter case: the
        # file system takes them for the same names.
        for job in ("201", "202"):
            drive.leave_record(job)
            name = newest_record(drive.files(), job)
            os.rename(os.path.join(drive.reports, name), os.path.join(drive.reports, name.upper()))
        # A record at the highest generation the spool counts: the job's
        # next run numbers its records from 1 again and keeps its outcome.
        drive.leave_record("203")
        os.rename(drive.record_path("203"), os.path.join(drive.reports, "203.999999999.xml"))
        with StatusServer([UNAVAILABLE] * 5) as away:
            drive.run(away.port, "203", **COM_FAILS)
        self.assertEqual(newest_record(drive.files(), "203"), "203.7.xml")
        self.assertEqual(drive.record("203")["attempts"], "5")
        # What a write of a job killed long ago left.
        with open(os.path.join(drive.reports, "204.3.xml.tmp"), "w") as stopped:
            stopped.write("<ReportRecord")
        with StatusServer() as server:
            drive.run(server.port, "201", **COM_FAILS)
        self.assertEqual(job_ids(server), ["201", "202", "203"])
        self.assertEqual(server.requests[2].body, away.requests[0].body)
        self.assertEqual(drive.files(), [])


class RecordsHeldByAnEarlierWorker(unittest.TestCase):
    def test_a_claim_waits_one_attempts_limit_and_then_leaves_the_job_to_their_holder(self):
        drive = Drive(self)
        with StatusServer() as server:
            drive.run(server.port, "300", **COM_FAILS)
        # An earlier worker holds the job's records for its whole run: byte
        # <job> of the lock file (a record lock, which the worker's open
        # file description locks respect).
        with open(os.path.join(drive.reports, SPOOL_LOCK_FILE), "r+b") as lock:
            fcntl.lockf(lock, fcntl.LOCK_EX | fcntl.LOCK_NB, 1, 301)
            with StatusServer() as server:
                run = drive.run(server.port, "301", WORKER_TRANSFER_TIMEOUT="1", **COM_FAILS)
        self.assertEqual((run.returncode, run.text), (0, ALREADY_RUNNING + "\r\n"))
        self.assertEqual(server.requests, [])
        self.assertEqual(drive.files(), [])


class OddRecords(unittest.TestCase):
    def test_a_clock_that_jumped_forward_does_not_remove_records_unsent(self):
        drive = Drive(self)
        refused = drive.leave_record("11", age=40 * 24 * 3600)
        with StatusServer() as server:
            drive.run(server.port, "12", **COM_FAILS)
        self.assertEqual(job_ids(server), ["12", "11"])
        self.assertEqual(drive.files(), [])
        self.assertIn("<nJobID>11</nJobID>", refused)

    def test_a_fifo_named_like_a_record_is_set_aside_without_holding_the_worker(self):
        drive = Drive(self)
        drive.leave_record("13", age=10)
        # A file set aside earlier under the same name is replaced, so that
        # the FIFO does not stay behind to be read by every later job.
        with open(os.path.join(drive.reports, "5.xml.bad"), "w") as earlier:
            earlier.write("set aside by an earlier job")
        os.mkfifo(os.path.join(drive.reports, "5.xml"))
        os.utime(os.path.join(drive.reports, "5.xml"), (0, 0), follow_symlinks=False)
        with StatusServer() as server:
            run = drive.run(server.port, "14", **COM_FAILS)
        self.assertEqual(run.returncode, 0)
        self.assertEqual(job_ids(server), ["14", "13"])
        self.assertEqual(drive.files(), ["5.xml.bad"])
        self.assertTrue(stat.S_ISFIFO(os.lstat(os.path.join(drive.reports, "5.xml.bad")).st_mode))


if __name__ == "__main__":
    unittest.main()
