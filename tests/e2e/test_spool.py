"""The report spool end to end: the built worker on a temporary drive C with
the agent's install directory, the loopback status server and the real
files of C:\\ORV\\PatchDeploy\\Reports. A job's outcome that the server did
not acknowledge, or that a killed worker never reported, is delivered by a
later job exactly as it would have been sent; the job's own console and
report stay as they are."""

import contextlib
import os
import re
import signal
import subprocess
import tempfile
import threading
import time
import unittest
import xml.etree.ElementTree as ET

from harness import (ACCEPTED, COM_FAILS, NO_PARTNER_LIMIT, WORKER, StatusServer, decode_console, fault_reply, job_args,
                     run_worker, spool_files, unused_port)

INTERRUPTED = ("The deployment job ended before it could report its outcome (the worker was stopped or the "
               "machine restarted).")
TIME_LIMIT = "The deployment did not finish within 8 hours: the update agent did not return."
UPDATE_ID = "3f1c9a52-6b0e-4d8a-9f7e-2c5b8d1e4a60"
SEARCH_BLOCKS = {"WUA_SIM_FAULTS": "IUpdateSearcher::Search=block"}
UNAVAILABLE = b"HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
NS1 = "{http://service.veltrane.ws/}"
# Waiting for an event (a journal line, an exit) gives up after this long.
EVENT_LIMIT = 60


class Drive:
    """A temporary drive C holding the agent's install directory, an offline
    scan package with no updates, and the simulated agent's journal. The
    drive is the folder C of the temporary folder, or with letter None the
    temporary folder itself."""

    def __init__(self, test, letter="C"):
        self._tmp = tempfile.TemporaryDirectory()
        test.addCleanup(self._tmp.cleanup)
        self.root = self._tmp.name
        self.orv = os.path.join(self.root, letter or "", "ORV")
        self.reports = os.path.join(self.orv, "PatchDeploy", "Reports")
        os.makedirs(os.path.dirname(self.reports))
        with open(os.path.join(self.orv, "PatchDeploy", "wsusscn2.cab"), "w") as catalog:
            catalog.write('{"updates": []}')
        self.journal = os.path.join(self.root, "journal.log")
        self.env = {"WORKER_DRIVE_ROOT": self.root, "WUA_SIM_JOURNAL": self.journal}

    def args(self, port, job, transport="0"):
        return job_args(port, update_id=UPDATE_ID, job=job, transport=transport)

    def run(self, port, job, transport="0", **env):
        return run_worker(self.args(port, job, transport), env=dict(self.env, **env))

    def start(self, port, job, **env):
        full = dict(os.environ, WORKER_SLEEP_SCALE="0", **self.env)
        full.update(env)
        return subprocess.Popen([WORKER] + self.args(port, job), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=full)

    def wait_for_journal(self, text, proc, journal=None):
        """Waits until the agent's journal (or the given one) holds text (the
        worker is then inside that call) or the worker has ended."""
        journal = journal or self.journal
        deadline = time.monotonic() + EVENT_LIMIT
        while time.monotonic() < deadline and proc.poll() is None:
            if os.path.exists(journal):
                with open(journal, encoding="utf-8") as f:
                    if text in f.read():
                        return
            time.sleep(0.02)
        raise AssertionError("the worker never reached %r" % text)

    def leave_record(self, job, age=None):
        """Runs a job whose five reports meet an unavailable server and
        returns the text of the record it leaves, aged by age seconds."""
        with StatusServer([UNAVAILABLE] * 5) as server:
            self.run(server.port, job, **COM_FAILS)
        path = self.record_path(job)
        if age is not None:
            os.utime(path, (time.time() - age,) * 2)
        with open(path, encoding="utf-8") as f:
            return f.read()

    def files(self):
        return spool_files(self.reports)

    def record_path(self, job):
        """The path of the job's newest record."""
        return os.path.join(self.reports, newest_record(self.files(), job))

    def record(self, job):
        return read_record(self.record_path(job))

    def write_record(self, job, text, written=None):
        path = os.path.join(self.reports, job + ".xml")
        os.makedirs(self.reports, exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        if written is not None:
            os.utime(path, (written, written))


def newest_record(names, job):
    """The name of the job's newest record among names: "<job>.<n>.xml" with
    the highest n, "<job>.xml" counting as 0; None when it has none."""
    generations = {}
    for name in names:
        match = re.fullmatch(re.escape(job) + r"(?:\.([1-9][0-9]*))?\.xml", name)
        if match:
            generations[int(match.group(1) or 0)] = name
    return generations[max(generations)] if generations else None


def read_record(path):
    """A record's request fields, with its management data under "written"
    and "attempts"."""
    root = ET.parse(path).getroot()
    request = root.find(NS1 + "UpdateDeployJobStatus")
    fields = {child.tag: child.text or "" for child in request}
    fields["written"] = root.find("written").text
    fields["attempts"] = root.find("attempts").text
    if root.find("refusals") is not None:
        fields["refusals"] = root.find("refusals").text
    return fields


def job_ids(server):
    return [request.report()["nJobID"] for request in server.requests]


def check_next_job_delivers(test, drive, pending, refused):
    """The next job against a server that answers reports itself, as
    always, and then the pending job's report exactly as it was refused."""
    with StatusServer() as server:
        run = drive.run(server.port, "102")
    test.assertEqual(run.returncode, 0)
    test.assertTrue(run.text.endswith("Success") and run.text.count("Success") == 1, run.text)
    test.assertEqual(job_ids(server), ["102", pending])
    test.assertEqual(server.requests[1].body, refused)
    test.assertEqual(dict(server.requests[1].headers)["Authorization"],
                     dict(server.requests[0].headers)["Authorization"])
    test.assertEqual(drive.files(), [])


class Delivery(unittest.TestCase):
    def test_unacknowledged_outcome_is_delivered_by_the_next_job_after_its_own_report(self):
        drive = Drive(self)
        with StatusServer([UNAVAILABLE] * 5) as server:
            first = drive.run(server.port, "101", **COM_FAILS)
        self.assertEqual(first.text.count("Soap failure. "), 5)
        refused = server.requests[0].body
        self.assertEqual({request.body for request in server.requests}, {refused})
        self.assertEqual(drive.files(), [newest_record(drive.files(), "101")])
        record = drive.record("101")
        self.assertEqual((record["nStatus"], record["attempts"]), ("-6", "5"))
        self.assertTrue(record["strErrorDescription"].startswith("Failed to initialize COM library."))
        check_next_job_delivers(self, drive, "101", refused)

    def test_a_refused_record_is_passed_over_and_the_newer_ones_delivered(self):
        drive = Drive(self)
        for job, age in (("11", 400), ("12", 300), ("13", 200), ("14", 100)):
            drive.leave_record(job, age)
        # 12 is refused with a fault; a transport failure at 14 ends it.
        with StatusServer([ACCEPTED, ACCEPTED, fault_reply(), ACCEPTED, "reset"]) as server:
            run = drive.run(server.port, "15")
        self.assertTrue(run.text.endswith("Success"), run.text)
        self.assertEqual(job_ids(server), ["15", "11", "12", "13", "14"])
        self.assertEqual([newest_record(drive.files(), job) is not None for job in ("11", "12", "13", "14")],
                         [False, True, False, True])

    def test_records_the_server_always_declines_never_block_the_others_and_are_set_aside(self):
        drive = Drive(self)
        for job, age in (("11", 400), ("12", 300), ("13", 200)):
            drive.leave_record(job, age)
        declined = {"11": drive.record("11"), "12": drive.record("12")}
        # Jobs deleted on the server's console: their records are declined
        # with a Fault on every delivery, and the newer one comes after them.
        with StatusServer([ACCEPTED, fault_reply(), fault_reply()]) as server:
            drive.run(server.port, "21")
        self.assertEqual(job_ids(server), ["21", "11", "12", "13"])
        self.assertIsNone(newest_record(drive.files(), "13"))
        # The Fault counts in the record, which is otherwise as it was.
        for job in ("11", "12"):
            record = drive.record(job)
            self.assertEqual(record.pop("refusals"), "1")
            self.assertEqual(record, declined[job])
        # Never-refused records first: another job's record, as old as
        # theirs or newer, comes before them; an error status for it and the
        # next in a row still ends the delivery, and counts in no record.
        drive.leave_record("14")
        with StatusServer([ACCEPTED, UNAVAILABLE, UNAVAILABLE]) as server:
            drive.run(server.port, "22")
        self.assertEqual(job_ids(server), ["22", "14", "11"])
        with StatusServer([ACCEPTED, ACCEPTED, fault_reply(), fault_reply()]) as server:
            drive.run(server.port, "23")
        self.assertEqual(job_ids(server), ["23", "14", "11", "12"])
        self.assertEqual(drive.record("11")["refusals"], "2")
        with StatusServer([ACCEPTED, fault_reply(), fault_reply()]) as server:
            drive.run(server.port, "24")
        self.assertEqual(job_ids(server), ["24", "11", "12"])
        # On its third Fault a record is set aside, kept and never sent.
        self.assertEqual([name for name in drive.files() if not name.endswith(".bad")], [])
        self.assertEqual(sorted(name.split(".")[0] for name in drive.files()), ["11", "12"])
        with StatusServer() as server:
            drive.run(server.port, "25")
        self.assertEqual(job_ids(server), ["25"])

    def test_job_killed_while_its_report_is_on_the_way_has_its_outcome_delivered_by_the_next(self):
        drive = Drive(self)
        arrived = threading.Event()

        def hold(conn, stop):
            arrived.set()
            stop.wait(NO_PARTNER_LIMIT)

        with StatusServer([hold]) as server:
            worker = drive.start(server.port, "311")
            try:
                self.assertTrue(arrived.wait(EVENT_LIMIT), "the report never arrived")
            finally:
                worker.send_signal(signal.SIGKILL)
                worker.wait(NO_PARTNER_LIMIT)
        self.assertEqual(drive.files(), ["311.2.xml"])
        self.assertEqual(drive.record("311")["nStatus"], server.requests[0].report()["nStatus"])
        check_next_job_delivers(self, drive, "311", server.requests[0].body)


class RunningJobs(unittest.TestCase):
    """A job that is still running, blocked in the update agent: its record
    is not another job's to send; killed, it is reported as interrupted."""

    def drive(self):
        return Drive(self)

    def test_killed_job_is_reported_as_interrupted_and_never_by_a_job_running_beside_it(self):
        drive = self.drive()
        blocked = drive.start(unused_port(), "201", **SEARCH_BLOCKS)
        try:
            drive.wait_for_journal("IUpdateSearcher::Search", blocked)
            self.assertEqual(drive.record("201")["strErrorDescription"], INTERRUPTED)
            with StatusServer() as server:
                beside = drive.run(server.port, "202", WUA_SIM_FAULTS="")
            self.assertTrue(beside.text.endswith("Success"), beside.text)
            self.assertEqual(job_ids(server), ["202"])
            # Its record, and the space its outcome will take.
            self.assertEqual(drive.files(), ["201.1.xml", "201.2.xml.tmp"])
        finally:
            blocked.send_signal(signal.SIGKILL)
            blocked.wait(NO_PARTNER_LIMIT)
            if blocked.stdout:
                blocked.stdout.close()
        with StatusServer() as server:
            drive.run(server.port, "203")
        self.assertEqual(job_ids(server), ["203", "201"])
        report = server.requests[1].report()
        self.assertEqual((report["nStatus"], report["nRebootRequired"], report["nSystemID"], report["nPatchID"]),
                         ("-6", "0", "7", "9"))
        self.assertEqual(report["strErrorDescription"], INTERRUPTED)
        self.assertEqual(drive.files(), [])


class TimeLimit(unittest.TestCase):
    # The job's time limit as the tests shorten it: long enough for the job
    # to reach its search.
    LIMIT_MS = "200"

    def drive(self):
        return Drive(self)

    def test_job_whose_agent_call_never_returns_reports_the_time_limit_and_ends(self):
        # The time limit's report goes out as the job's own would: over HTTPS
        # it accepts the server's unverifiable certificate.
        for transport, tls in (("0", False), ("1", True)):
            with self.subTest(tls=tls):
                drive = self.drive()
                with StatusServer(tls=tls) as server:
                    run = drive.run(server.port, "501", transport, WORKER_JOB_TIME_LIMIT_MS=self.LIMIT_MS,
                                    **SEARCH_BLOCKS)
                self.assertEqual(run.returncode, 0)
                self.assertTrue(run.text.endswith("Searching for missing patches. Please wait.\r\n"), run.text)
                self.assertEqual(len(server.requests), 1)
                report = server.requests[0].report()
                self.assertEqual((report["nJobID"], report["nStatus"], report["nRebootRequired"]), ("501", "-6", "0"))
                self.assertEqual(report["strErrorDescription"], TIME_LIMIT)
                self.assertEqual(drive.files(), [])

    def failing_port(self):
        """A port where the report fails: nothing listens there."""
        return contextlib.nullcontext(unused_port())

    def test_time_limit_report_that_fails_stays_in_the_spool(self):
        drive = self.drive()
        with self.failing_port() as port:
            run = drive.run(port, "502", WORKER_JOB_TIME_LIMIT_MS=self.LIMIT_MS, **SEARCH_BLOCKS)
        self.assertEqual(run.returncode, 0)
        record = drive.record("502")
        self.assertEqual((record["strErrorDescription"], record["attempts"]), (TIME_LIMIT, "1"))


class WriteAhead(unittest.TestCase):
    """What is on the disk when, as the Linux substitute journals each file
    operation: the interrupted record before the job starts, and the outcome
    before the server first sees it."""

    def test_each_record_is_on_the_disk_before_what_it_guards_begins(self):
        drive = Drive(self)
        ops = os.path.join(drive.root, "file-ops.log")

        def journal():
            with open(ops, encoding="utf-8") as f:
                return [line.split(" ")[:2] for line in f.read().splitlines()]

        def durable(lines, name):
            """Whether the record name was renamed into place, its data
            flushed before and its folder after."""
            path = os.path.join(drive.reports, name)
            for i, line in enumerate(lines):
                if line[0] == "rename" and lines[i][1] == path + ".tmp":
                    return (["flush", path + ".tmp"] in lines[:i]) and (["flushdir", drive.reports] in lines[i:])
            return False

        seen = []

        def look(conn, stop):
            seen.append(journal())
            conn.sendall(ACCEPTED)

        with StatusServer([look]) as server:
            run = drive.run(server.port, "401", WORKER_FILE_OPS_JOURNAL=ops, **COM_FAILS)
        self.assertTrue(run.text.endswith("Success"), run.text)
        self.assertTrue(durable(seen[0], "401.2.xml"), seen[0])
        # The acknowledged job's record is deleted without a flush: a power
        # loss then sends the same outcome once more.
        spool_operations = [line for line in journal() if line[1].startswith(drive.reports)]
        self.assertEqual(spool_operations[-1], ["delete", os.path.join(drive.reports, "401.2.xml")])
        # Two flushes for each of its two records (the file, then the folder).
        self.assertEqual(sum(1 for line in journal()
                             if line[0] in ("flush", "flushdir") and line[1].startswith(drive.reports)), 4)

        blocked = drive.start(unused_port(), "402", WORKER_FILE_OPS_JOURNAL=ops, **SEARCH_BLOCKS)
        try:
            drive.wait_for_journal("IUpdateSearcher::Search", blocked)
            self.assertTrue(durable(journal(), "402.1.xml"))
        finally:
            blocked.send_signal(signal.SIGKILL)
            blocked.wait(NO_PARTNER_LIMIT)


class DefinedOutcomes(unittest.TestCase):
    """Records and folders that are not as the worker left them: the job's
    own console and report are those of a job without a spool."""

    def reference(self, job="42"):
        """The console and request of the job on a drive without the
        agent's install directory, where nothing is spooled."""
        with tempfile.TemporaryDirectory() as empty, StatusServer() as server:
            run = run_worker(job_args(server.port, update_id=UPDATE_ID, job=job),
                             env=dict(COM_FAILS, WORKER_DRIVE_ROOT=empty))
            self.assertEqual(os.listdir(empty), [])
        return run.text, server.requests[0].body

    def assertUnchanged(self, run, server, job="42"):
        self.assertEqual(run.returncode, 0)
        self.assertEqual((run.text, server.requests[0].body), self.reference(job))

    def test_unreadable_records_are_set_aside_with_their_content_and_the_rest_delivered(self):
        drive = Drive(self)
        good = drive.leave_record("61")
        torn = good[:len(good) // 2]
        now = time.time()
        drive.write_record("61", good, now - 10)
        drive.write_record("62", torn, now - 40)
        drive.write_record("63", good, now - 30)     # names job 61, not 63
        drive.write_record("64", "\x00garbage" * 5000, now - 20)   # beyond any record's size
        with StatusServer() as server:
            run = drive.run(server.port, "42", **COM_FAILS)
        self.assertUnchanged(run, server)
        self.assertEqual(job_ids(server), ["42", "61"])
        self.assertEqual(drive.files(), ["62.xml.bad", "63.xml.bad", "64.xml.bad"])
        with open(os.path.join(drive.reports, "62.xml.bad"), encoding="utf-8") as f:
            self.assertEqual(f.read(), torn)

    def test_job_identifier_that_is_not_a_plain_number_is_reported_and_not_spooled(self):
        for job in ("..\\x", "-5", " 7", "4294967338", ""):
            with self.subTest(job=job):
                drive = Drive(self)
                with StatusServer([UNAVAILABLE] * 5) as server:
                    run = drive.run(server.port, job, **COM_FAILS)
                self.assertEqual(run.returncode, 0)
                self.assertEqual(len(server.requests), 5)
                self.assertFalse(os.path.exists(drive.reports))
                self.assertEqual(sorted(os.listdir(drive.orv)), ["PatchDeploy"])

    def test_read_only_spool_folder_leaves_the_job_as_it_was(self):
        drive = Drive(self)
        drive.write_record("71", "pending")
        os.chmod(drive.reports, 0o555)
        for folder in (drive.root, os.path.join(drive.root, "C"), os.path.join(drive.root, "C", "ORV")):
            os.chmod(folder, 0o755)
        # Root writes anywhere: the job runs as an ordinary user then.
        prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []
        with StatusServer() as server:
            env = dict(os.environ, WORKER_SLEEP_SCALE="0", **drive.env, **COM_FAILS)
            proc = subprocess.run(prefix + [WORKER] + drive.args(server.port, "42"), env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=EVENT_LIMIT)
        run = type("Run", (), {"returncode": proc.returncode, "text": decode_console(proc.stdout)})
        self.assertUnchanged(run, server)
        self.assertEqual(len(server.requests), 1)
        self.assertEqual(drive.files(), ["71.xml"])

    def test_spool_folder_that_others_could_write_is_not_used(self):
        # Made beforehand by somebody else, or left writable for all: a
        # well-formed record in it could be anybody's.
        for folder, owner, mode in (("Reports", 0, 0o777), ("Reports", 65534, 0o700), ("Reports", 0, 0o770),
                                    ("PatchDeploy", 0, 0o757), ("PatchDeploy", 65534, 0o755)):
            with self.subTest(folder=folder, owner=owner, mode=oct(mode)):
                drive = Drive(self)
                planted = drive.leave_record("50")
                path = os.path.join(drive.orv, "PatchDeploy", *(["Reports"] if folder == "Reports" else []))
                os.chown(path, owner, -1)
                os.chmod(path, mode)
                left = drive.files()
                with StatusServer() as server:
                    run = drive.run(server.port, "51", **COM_FAILS)
                self.assertUnchanged(run, server, "51")
                self.assertEqual(len(server.requests), 1)
                self.assertEqual(drive.files(), left)
                with open(drive.record_path("50"), encoding="utf-8") as f:
                    self.assertEqual(f.read(), planted)

    def test_spool_beyond_its_bounds_loses_its_oldest_records_first(self):
        drive = Drive(self)
        template = drive.leave_record("1")
        now = time.time()
        day = 24 * 3600
        # Jobs 1001 to 2200, oldest first; the first 250 are over 30 days old.
        for i in range(1200):
            job = str(1001 + i)
            age = 31 * day + (250 - i) if i < 250 else 1200 - i
            drive.write_record(job, template.replace("<nJobID>1</nJobID>", "<nJobID>%s</nJobID>" % job),
                               now - age)
        os.remove(drive.record_path("1"))
        # Names that are not the spool's are never touched, however old:
        # removing "..\..\keep" would remove ORV\keep.
        sentinel = os.path.join(drive.orv, "keep")
        for path in (sentinel, os.path.join(drive.reports, "..\\..\\keep"), os.path.join(drive.reports, "notes.txt")):
            with open(path, "w") as f:
                f.write("kept")
            os.utime(path, (now - 40 * day,) * 2)
        with StatusServer() as server:
            run = drive.run(server.port, "42", **COM_FAILS)
        self.assertUnchanged(run, server)
        # Room for the job's own record: 999 others, the newest; of these
        # the oldest 100 are sent, the rest wait for the next jobs. None of
        # the 50 old ones was removed for its age without being tried.
        kept = [str(job) for job in range(2201 - 999, 2201)]
        self.assertEqual(job_ids(server), ["42"] + kept[:100])
        self.assertEqual(drive.files(), sorted(["..\\..\\keep", "notes.txt"] + [job + ".xml" for job in kept[100:]]))
        self.assertTrue(os.path.exists(sentinel))


    def test_a_crowded_spool_is_brought_within_its_bounds_a_bounded_step_per_job(self):
        drive = Drive(self)
        template = drive.leave_record("1")
        os.remove(drive.record_path("1"))
        now = time.time()
        jobs = [str(10001 + i) for i in range(3200)]
        for i, job in enumerate(jobs):
            drive.write_record(job, template.replace("<nJobID>1</nJobID>", "<nJobID>%s</nJobID>" % job),
                               now - 3200 + i)
        # Each job removes at most 1,000 of the oldest, then sends the
        # oldest 100 of those that stay; later jobs go on.
        for own, removed, sent in (("42", jobs[:1000], jobs[1000:1100]), ("43", jobs[1100:2100], jobs[2100:2200]),
                                   ("44", jobs[2200:2201], jobs[2201:2301])):
            with StatusServer() as server:
                drive.run(server.port, own, **COM_FAILS)
            self.assertEqual(job_ids(server), [own] + sent)
            files = set(drive.files())
            self.assertEqual([job for job in removed + sent if job + ".xml" in files], [])
        self.assertEqual(drive.files(), sorted(job + ".xml" for job in jobs[2301:]))


if __name__ == "__main__":
    unittest.main()
