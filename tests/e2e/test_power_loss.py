"""The report spool across a power loss, at any moment of a job:
- I1: the status server never receives, for a job, an older report after a
  newer one that it acknowledged (a job's "interrupted" report is older than
  its outcome);
- I2: a job that had begun (its "interrupted" record was on the disk: its
  folder had been flushed with it) and whose report was never acknowledged
  is delivered by the next job, as its outcome or as interrupted.
CrashStates runs a job with its file operations journaled, enumerates every
state a power loss may leave under a weak disk model (crash_states) and runs
the next job on each. RealPowerCut stops a real ext4 file system, without
writing its journal, at three moments of a job, and runs the next job on the
volume mounted again."""

import errno
import fcntl
import itertools
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from crash_states import ServerAnswer, enumerate_crash_states, read_journal, read_tree
from harness import (COM_FAILS, JOURNALED_DESCRIPTION, NO_PARTNER_LIMIT, SPOOL_LOCK_FILE, StatusServer, job_args,
                     run_worker)
from test_spool_faults import fill
from test_spool import EVENT_LIMIT, INTERRUPTED, SEARCH_BLOCKS, TIME_LIMIT, UNAVAILABLE, UPDATE_ID, Drive

# The job that runs after the power loss; its server acknowledges everything.
NEXT_JOB = "103"
# The spool folder, relative to the drive root.
REPORTS = "C/ORV/PatchDeploy/Reports"
# A record of a job, of any generation: "<job>.<n>.xml", or "<job>.xml".
RECORD_NAME = re.compile(r"(\d+)(?:\.\d+)?\.xml")
# The crash states of one job are checked for at most this long (each run of
# the next job takes some 20 ms); states left over are counted as unchecked.
STATE_BUDGET_SECONDS = 45


def is_interrupted(status, description):
    return status == "-6" and description[:JOURNALED_DESCRIPTION] == INTERRUPTED[:JOURNALED_DESCRIPTION]


def violations(before, after, begun):
    """Where the promise is broken. before: the ServerAnswers up to the power
    loss; after: (nJobID, nStatus, description) of each report that the next
    job's server then acknowledged; begun: the jobs that had begun."""
    found = []
    outcome_acknowledged = set()
    received = [(a.job, a.status, a.description, a.acknowledged) for a in before]
    received += [(job, status, description, True) for job, status, description in after]
    for job, status, description, acknowledged in received:
        if not is_interrupted(status, description):
            if acknowledged:
                outcome_acknowledged.add(job)
        elif job in outcome_acknowledged:
            found.append("I1: job %s reported as interrupted after its outcome was acknowledged" % job)
    acknowledged = {answer.job for answer in before if answer.acknowledged}
    delivered = {job for job, _, _ in after}
    for job in sorted(begun - acknowledged - delivered - {NEXT_JOB}):
        found.append("I2: job %s had begun, was never acknowledged and was not delivered by the next job" % job)
    return found


def acknowledged_reports(server, first=0):
    fields = [request.report() for request in server.requests[first:]]
    return [(f["nJobID"], f["nStatus"], f["strErrorDescription"]) for f in fields]


def begun_jobs(state):
    """The jobs that a flush of the spool folder (or the drive as it was
    laid) had named a record of."""
    jobs = set()
    for path in state.flushed_names:
        folder, _, name = path.rpartition("/")
        match = RECORD_NAME.fullmatch(name)
        if folder == REPORTS and match:
            jobs.add(match.group(1))
    return jobs


def lay_state(state, root):
    """Writes a crash state as a drive root; the spool's lock file, left out
    of the states, is there whenever the folder is."""
    for folder in state.folders:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    if REPORTS in state.folders:
        open(os.path.join(root, REPORTS, SPOOL_LOCK_FILE), "wb").close()
    for path, content in state.files:
        with open(os.path.join(root, path), "wb") as f:
            f.write(content)


def describe_point(events, point):
    if point == 0:
        return "before the job's first operation"
    event = events[point - 1]
    if isinstance(event, ServerAnswer):
        return "after the server's %s of job %s (%s)" % ("ack" if event.acknowledged else "refusal", event.job,
                                                          event.status)
    op, args = event
    return "after %s %s" % (op, " ".join(os.path.basename(arg) if "/" in arg else arg[:16] for arg in args))


def describe_spool(state):
    if REPORTS not in state.folders:
        return "no spool folder"
    names = ["%s (%d bytes)" % (path.rpartition("/")[2], len(content)) for path, content in state.files
             if path.startswith(REPORTS + "/")]
    return ", ".join(names) or "an empty spool folder"


def answers_in(events):
    return [(event.job, event.acknowledged) for event in events if isinstance(event, ServerAnswer)]


class CrashStates(unittest.TestCase):
    """Three jobs, each with every state a power loss at any moment of it
    may leave, followed by the next job."""

    def record_job(self, job, replies, pending=None):
        """Runs the job on a fresh drive, with the record that job pending
        left there first when given, its file operations and its server's
        answers journaled in one file. Returns the drive root, the tree
        before the job and the journal's events."""
        drive = Drive(self)
        if pending:
            drive.leave_record(pending)
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        journal = os.path.join(scratch.name, "operations.log")
        if os.path.exists(drive.journal):
            os.remove(drive.journal)
        tree = read_tree(drive.root)
        with StatusServer(replies, journal=journal) as server:
            run = drive.run(server.port, job, WORKER_FILE_OPS_JOURNAL=journal,
                            WUA_SIM_JOURNAL=os.path.join(scratch.name, "agent.log"), **COM_FAILS)
        self.assertEqual(run.returncode, 0)
        events = read_journal(journal)
        self.assertTrue(any(not isinstance(event, ServerAnswer) for event in events),
                        "the worker journaled no file operation (WORKER_FILE_OPS_JOURNAL)")
        return drive.root, tree, events

    def check_crash_states(self, root, tree, events):
        states = list(enumerate_crash_states(events, root, tree, ignored_names=(SPOOL_LOCK_FILE,)))
        # Every crash point's first state before any point's second: states
        # that the budget leaves over are spread over the points.
        by_point = {}
        for state in states:
            by_point.setdefault(state.point, []).append(state)
        ordered = [s for group in itertools.zip_longest(*by_point.values()) for s in group if s is not None]
        failures = {}
        checked = 0
        deadline = time.monotonic() + STATE_BUDGET_SECONDS
        with StatusServer() as server, tempfile.TemporaryDirectory() as scratch:
            for state in ordered:
                if time.monotonic() > deadline:
                    break
                drive_root = os.path.join(scratch, "drive")
                lay_state(state, drive_root)
                first = len(server.requests)
                run = run_worker(job_args(server.port, update_id=UPDATE_ID, job=NEXT_JOB),
                                 env=dict(COM_FAILS, WORKER_DRIVE_ROOT=drive_root))
                self.assertEqual(run.returncode, 0)
                for found in violations(state.answers, acknowledged_reports(server, first), begun_jobs(state)):
                    failures.setdefault(found, []).append(state)
                shutil.rmtree(drive_root)
                checked += 1
        left = "" if checked == len(states) else " (%d left unchecked: %d s spent)" % (
            len(states) - checked, STATE_BUDGET_SECONDS)
        print("crash states checked: %d of %d%s" % (checked, len(states), left), file=sys.stderr)
        # A state that several crash points leave is counted at the first.
        lines = []
        for found, at in failures.items():
            lines.append("%s: %d state(s), first left by a loss after journal lines %s" % (
                found, len(at), sorted({state.point for state in at})))
            lines.append("  e.g. %s, with %s" % (describe_point(events, at[0].point), describe_spool(at[0])))
        if lines:
            self.fail("\n" + "\n".join(lines))

    def test_job_acknowledged_at_once(self):
        root, tree, events = self.record_job("101", [])
        self.assertEqual(answers_in(events), [("101", True)])
        self.check_crash_states(root, tree, events)

    def test_job_refused_once_then_acknowledged(self):
        root, tree, events = self.record_job("101", [UNAVAILABLE])
        self.assertEqual(answers_in(events), [("101", False), ("101", True)])
        self.check_crash_states(root, tree, events)

    def test_job_acknowledged_at_once_that_then_delivers_an_earlier_jobs_record(self):
        root, tree, events = self.record_job("102", [], pending="101")
        self.assertEqual(answers_in(events), [("102", True), ("101", True)])
        self.check_crash_states(root, tree, events)


class CrashModel(unittest.TestCase):
    """The disk model that CrashStates relies on: what was not flushed may
    be lost, what was flushed is kept."""

    def states(self, lines):
        with tempfile.TemporaryDirectory() as scratch:
            root = os.path.join(scratch, "drive")
            os.makedirs(os.path.join(root, "R"))
            journal = os.path.join(scratch, "journal.log")
            with open(journal, "w") as f:
                f.write("".join(line.format(R=os.path.join(root, "R")) + "\n" for line in lines))
            tree = read_tree(root)
            return list(enumerate_crash_states(read_journal(journal), root, tree))

    def test_a_record_renamed_before_its_data_is_flushed_may_be_found_empty_or_torn(self):
        unsafe = ["create {R}/1.xml.tmp", "write {R}/1.xml.tmp 0 61626364", "rename {R}/1.xml.tmp {R}/1.xml",
                  "flushdir {R}", "flush {R}/1.xml"]
        found = {dict(state.files).get("R/1.xml") for state in self.states(unsafe)}
        self.assertEqual(found, {None, b"", b"ab", b"abcd"})

    def test_flushed_data_and_names_survive_and_later_entries_go_in_order(self):
        safe = ["create {R}/1.xml.tmp", "write {R}/1.xml.tmp 0 61626364", "flush {R}/1.xml.tmp",
                "rename {R}/1.xml.tmp {R}/1.xml", "flushdir {R}", "create {R}/2.xml", "delete {R}/1.xml",
                "ack 1 0 done%20now"]
        last = [state for state in self.states(safe) if state.point == len(safe)]
        self.assertEqual(sorted(sorted(dict(state.files)) for state in last),
                         [["R/1.xml"], ["R/1.xml", "R/2.xml"], ["R/2.xml"]])
        self.assertTrue(all(dict(state.files).get("R/1.xml", b"abcd") == b"abcd" for state in last))
        self.assertEqual(last[0].answers, (ServerAnswer(True, "1", "0", "done now"),))
        self.assertEqual(last[0].flushed_names, {"R/1.xml"})

    def test_a_folder_whose_parent_was_not_flushed_may_vanish_with_its_flushed_files(self):
        made = ["mkdir {R}/S", "create {R}/S/1.xml", "flush {R}/S/1.xml", "flushdir {R}/S"]
        last = [state for state in self.states(made) if state.point == len(made)]
        self.assertEqual(sorted(state.folders for state in last), [("", "R"), ("", "R", "R/S")])
        flushed = made[:1] + ["flushdir {R}"] + made[1:]
        last = [state for state in self.states(flushed) if state.point == len(flushed)]
        self.assertEqual([(state.folders, state.files) for state in last], [(("", "R", "R/S"), (("R/S/1.xml", b""),))])


EXT4_IOC_SHUTDOWN = 0x8004587D        # _IOR('X', 125, __u32)
# Stops the file system at once: neither the data nor the journal's last
# transactions reach the disk, as when the power goes.
EXT4_GOING_FLAGS_NOLOGFLUSH = 2
IMAGE_BYTES = 32 * 1024 * 1024


def loop_devices_unavailable():
    if os.geteuid() != 0:
        return "not root: no loop device can be set up"
    if not os.path.exists("/dev/loop-control"):
        return "no /dev/loop-control: no loop device can be set up"
    return None


class Ext4Volume:
    """An ext4 file system in an image file on a loop device, mounted on a
    folder of the test's and unmounted and detached when the test ends.
    Only what is flushed reaches its journal before a power cut: the
    periodic commit is put beyond any test's length."""

    def __init__(self, test):
        scratch = tempfile.TemporaryDirectory()
        test.addCleanup(scratch.cleanup)
        image = os.path.join(scratch.name, "volume.img")
        self.mount_point = os.path.join(scratch.name, "volume")
        os.mkdir(self.mount_point)
        with open(image, "wb") as f:
            f.truncate(IMAGE_BYTES)
        subprocess.run(["mkfs.ext4", "-q", image], check=True, stdin=subprocess.DEVNULL)
        attached = subprocess.run(["losetup", "--find", "--show", image], capture_output=True, text=True)
        if attached.returncode != 0:
            self.skip(test, "no loop device: " + attached.stderr.strip())
        self.device = attached.stdout.strip()
        test.addCleanup(subprocess.run, ["losetup", "-d", self.device], check=True)
        test.addCleanup(self.unmount)
        mounted = self.mount()
        if mounted.returncode != 0:
            self.skip(test, "mounting is not allowed here: " + mounted.stderr.strip())

    @staticmethod
    def skip(test, reason):
        print("skipped: " + reason, file=sys.stderr)
        test.skipTest(reason)

    def mount(self):
        return subprocess.run(["mount", "-t", "ext4", "-o", "commit=3600", self.device, self.mount_point],
                              capture_output=True, text=True)

    def unmount(self):
        if os.path.ismount(self.mount_point):
            subprocess.run(["umount", self.mount_point], check=True)

    def cut_power(self):
        fd = os.open(self.mount_point, os.O_RDONLY | os.O_DIRECTORY)
        try:
            fcntl.ioctl(fd, EXT4_IOC_SHUTDOWN, struct.pack("I", EXT4_GOING_FLAGS_NOLOGFLUSH))
        finally:
            os.close(fd)

    def mount_again(self):
        """Mounts the volume again, which replays its journal."""
        self.unmount()
        mounted = self.mount()
        if mounted.returncode != 0:
            raise AssertionError("the volume does not mount again: " + mounted.stderr.strip())


class RealPowerCut(unittest.TestCase):
    """Job 101 on a drive whose root is an ext4 volume that is stopped at one
    moment of the job; whatever job 101 did by then, the next job keeps the
    promise. Job 101 has begun at each of these moments: its "interrupted"
    record is on the disk before the deployment starts, and its outcome
    before the first report."""

    def setUp(self):
        reason = loop_devices_unavailable()
        if reason:
            print("skipped: " + reason, file=sys.stderr)
            self.skipTest(reason)
        self.volume = Ext4Volume(self)
        self.drive = Drive(self)
        shutil.copytree(os.path.join(self.drive.root, "C"), os.path.join(self.volume.mount_point, "C"))
        os.sync()
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.agent_journal = os.path.join(scratch.name, "agent.log")
        self.answers = os.path.join(scratch.name, "answers.log")
        self.next_agent_journal = os.path.join(scratch.name, "next-agent.log")
        self.env = {"WORKER_DRIVE_ROOT": self.volume.mount_point, "WUA_SIM_JOURNAL": self.agent_journal}

    def start_and_cut_power(self, server, reached, **env):
        """Starts job 101, cuts the power once reached(worker) returns, then
        kills the worker."""
        worker = self.drive.start(server.port, "101", **self.env, **env)
        try:
            reached(worker)
            self.volume.cut_power()
        finally:
            worker.kill()
            worker.wait(NO_PARTNER_LIMIT)

    def check_next_job(self):
        """Runs the next job after the power cut; returns the reports its
        server acknowledged."""
        self.volume.mount_again()
        reports = os.path.join(self.volume.mount_point, REPORTS)
        left = sorted(os.listdir(reports)) if os.path.isdir(reports) else "no spool folder"
        with StatusServer() as server:
            run = self.drive.run(server.port, NEXT_JOB, **dict(self.env, WUA_SIM_JOURNAL=self.next_agent_journal),
                                 **COM_FAILS)
        self.assertEqual(run.returncode, 0)
        before = read_journal(self.answers) if os.path.exists(self.answers) else []
        after = acknowledged_reports(server)
        found = violations(before, after, {"101"})
        if found:
            self.fail("%s\n  the power cut left %s; job 101's server answered %s; the next job delivered %s" % (
                "\n".join(found), left, answers_in(before), [report[:2] for report in after]))
        return after

    def test_power_cut_after_the_acknowledgement(self):
        with StatusServer(journal=self.answers) as server:
            run = self.drive.run(server.port, "101", **self.env, **COM_FAILS)
        self.assertEqual((run.returncode, len(server.requests)), (0, 1))
        self.volume.cut_power()
        self.check_next_job()

    def test_power_cut_while_the_report_is_on_the_way(self):
        arrived = threading.Event()

        def hold(conn, stop):
            arrived.set()
            stop.wait(NO_PARTNER_LIMIT)

        def report_arrived(worker):
            self.assertTrue(arrived.wait(EVENT_LIMIT), "the report never arrived")

        with StatusServer([hold], journal=self.answers) as server:
            self.start_and_cut_power(server, report_arrived, **COM_FAILS)
        self.check_next_job()

    def test_power_cut_while_the_job_is_inside_the_update_agent(self):
        def searching(worker):
            self.drive.wait_for_journal("IUpdateSearcher::Search", worker, self.agent_journal)

        with StatusServer(journal=self.answers) as server:
            self.start_and_cut_power(server, searching, **SEARCH_BLOCKS)
        self.assertEqual(server.requests, [])
        self.check_next_job()

    def test_power_cut_after_the_time_limit_report_was_kept_on_a_full_disk(self):
        # The disk fills while the job is inside the update agent; its limit
        # passes later, and its one attempt meets no server.
        limit_ms = 5000
        with StatusServer(listening=False, journal=self.answers) as server:
            worker = self.drive.start(server.port, "101", WORKER_JOB_TIME_LIMIT_MS=str(limit_ms), **self.env,
                                      **SEARCH_BLOCKS)
            try:
                self.drive.wait_for_journal("IUpdateSearcher::Search", worker, self.agent_journal)
                self.assertEqual(fill(os.path.join(self.volume.mount_point, "filler")), errno.ENOSPC)
                self.assertIsNone(worker.poll(), "the limit passed before the disk was full")
                self.assertEqual(worker.wait(EVENT_LIMIT + limit_ms / 1000), 0)
            finally:
                if worker.poll() is None:
                    worker.kill()
                    worker.wait(NO_PARTNER_LIMIT)
            self.volume.cut_power()
        # Not only reported: its outcome, kept in the space set aside for it.
        self.assertIn(("101", "-6", TIME_LIMIT), self.check_next_job())


if __name__ == "__main__":
    unittest.main()
