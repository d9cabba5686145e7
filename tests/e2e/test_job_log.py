"""The job log end to end: what each way of a deployment job (and the
reminder mode) writes to PatchWorker.log, every line read by a CMTrace
parser; that no file the worker writes holds the password; that a log
which cannot be used changes nothing of the job; rotation at 2 MiB; two
workers writing at once."""

import base64
import datetime
import os
import re
import shutil
import subprocess
import tempfile
import threading
import unittest

import cmtrace
from cmtrace import ERROR, INFORMATION, WARNING
from harness import (ACCEPTED, BINARY_DIR, HTML_500, WORKER, StatusServer, holding, job_args, run_worker,
                     spool_files, unused_port, worker_environment)
from test_deploy import (BUNDLED_1, JOB, LONG_SEGMENT, NO_SLASH_URL, STANDALONE_TITLE, UPDATE_ID, Job,
                         cached_update, update)

HOLD_FILE = os.path.join(BINARY_DIR, "tests", "hold_file")
PASSWORD = "Pa55-w0rd!"
USER = "agent"
MS = r"\d+ ms"


def log_folder(root, drive="C"):
    return os.path.join(root, drive, "ORV", "PatchDeploy", "Logs")


class LogReading:
    """A deployment job whose log is read after its run."""

    def run(self, *args, **env):
        self.started = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        super().run(*args, **env)
        self.ended = datetime.datetime.now(datetime.timezone.utc)
        self.lines = cmtrace.read_log(os.path.join(self.orv, "PatchDeploy", "Logs", cmtrace.LOG_FILE))
        return self


class LoggedJob(LogReading, Job):
    pass


class JobLogTestCase(unittest.TestCase):
    def assertJobLines(self, job, expected):
        """The job's lines are expected, in order: (type, pattern of the text
        after "Job 42: "); each line's time lies within the run and every
        line comes from one thread."""
        texts = ["%d %s" % (line.type, line.text) for line in job.lines]
        self.assertEqual(len(job.lines), len(expected), "\n".join(texts))
        for line, (kind, pattern) in zip(job.lines, expected):
            self.assertEqual(line.subject, "Job " + JOB)
            self.assertRegex(line.text, "^" + pattern + "$", "\n".join(texts))
            self.assertEqual(line.type, kind, line.text)
            self.assertTrue(job.started <= line.time <= job.ended, (line.time, job.started, job.ended))
        self.assertEqual(len({line.thread for line in job.lines}), 1)


def start_line(port, scheme="http"):
    return (INFORMATION, r"PatchWorker \d+\.\d+\.\d+ started: process \d+, update %s, mode deployment; reports go "
            r"to %s://127\.0\.0\.1:%d as user agent" % (UPDATE_ID, scheme, port))


def acknowledged(attempt=1):
    return (INFORMATION, r"Report attempt %d of 5 to http://127\.0\.0\.1:\d+/VeltraneWS/veltwua, %s: acknowledged"
            % (attempt, MS))


SEARCHED = (INFORMATION, r"Search for update %s: hr 0x0, %s" % (UPDATE_ID, MS))
INTERRUPTED_KEPT = (INFORMATION, r"Record written to the report spool: the job as interrupted, until it reports")
OUTCOME_KEPT = (INFORMATION, r"Record written to the report spool: the outcome")
COM_STARTED = (INFORMATION, r"COM start: hr 0x0, " + MS)


def finished(status, acknowledged=True):
    return (INFORMATION if status == 6 and acknowledged else ERROR,
            r"Job finished: %s, nStatus %d, report %sacknowledged, %s in all"
            % ("succeeded" if status == 6 else "failed", status, "" if acknowledged else "not ", MS))


class WaysTest(JobLogTestCase):
    """A successful and a failed job of each way: the lines of each step."""

    DRIVE = "C"
    SYSTEM_FOLDER = "C:\\Windows\\System32"

    def make_job(self):
        return LoggedJob(self)

    def run_job(self, prepare, **env):
        job = self.make_job()
        prepare(job)
        return job.run(**env)

    @property
    def registered(self):
        return (INFORMATION, r"Offline scan package %s:\\ORV\\PatchDeploy\\wsusscn2\.cab registered as a service: "
                r"hr 0x0, %s" % (self.DRIVE, MS))

    def job_path(self, name):
        return re.escape("%s:\\ORV\\42\\%s" % (self.DRIVE, name))

    def around(self, job, steps, outcome, status):
        """The lines of every job around its own steps."""
        port = int(re.search(r"127\.0\.0\.1:(\d+)", job.lines[0].text)[1])
        return ([start_line(port), INTERRUPTED_KEPT, COM_STARTED] + steps +
                [outcome, OUTCOME_KEPT, acknowledged(), finished(status)])

    def test_cached_content(self):
        def prepare(job, missing=False):
            job.scan_package([cached_update()])
            job.job_file(NO_SLASH_URL)
            if not missing:
                job.job_file(LONG_SEGMENT[:100])
        job = self.run_job(prepare)
        first = self.job_path(NO_SLASH_URL)
        second = self.job_path(LONG_SEGMENT[:100])
        self.assertJobLines(job, self.around(job, [
            self.registered, SEARCHED,
            (INFORMATION, r"Update found: Security Update for Contoso Runtime \(KB5000001\); way: cached content "
                          r"of 2 bundled updates"),
            (INFORMATION, r"Content file %s handed to the cache: hr 0x0, %s" % (first, MS)),
            (INFORMATION, r"Content file %s handed to the cache: hr 0x0, %s" % (second, MS)),
            (INFORMATION, r"Installation: hr 0x0, result code 2, " + MS),
        ], (INFORMATION, r"Outcome: succeeded, restart needed"), 6))

        job = self.run_job(lambda job: prepare(job, missing=True))
        self.assertJobLines(job, self.around(job, [
            self.registered, SEARCHED, (INFORMATION, r"Update found: .*; way: cached content of 2 bundled updates"),
            (INFORMATION, r"Content file %s handed to the cache: hr 0x0, %s" % (first, MS)),
            (ERROR, r"Content file %s handed to the cache: hr 0x80070002, %s" % (second, MS)),
        ], (ERROR, r"Outcome: failed: Error description:The system cannot find the file specified\..*"), -6))

    def test_online(self):
        def prepare(job, download=2):
            os.makedirs(job.orv)
            job.online_catalog([update(download={"result_code": download, "hresult": "0x80240022"},
                                       install={"result_code": 2, "reboot_required": False})])
        steps = [(INFORMATION, r"No offline scan package: the search goes to Microsoft Update \(online\)"), SEARCHED,
                 (INFORMATION, r"Update found: .*; way: online, no bundled updates")]
        job = self.run_job(prepare)
        self.assertJobLines(job, self.around(job, steps + [
            (INFORMATION, r"Download: hr 0x0, result code 2, " + MS),
            (INFORMATION, r"Installation: hr 0x0, result code 2, " + MS),
        ], (INFORMATION, r"Outcome: succeeded, restart not needed"), 6))

        job = self.run_job(lambda job: prepare(job, download=4))
        self.assertJobLines(job, self.around(job, steps + [
            (ERROR, r"Download: hr 0x0, result code 4, " + MS),
        ], (ERROR, r"Outcome: failed: "), -6))

    def test_standalone_package(self):
        def prepare(job):
            job.scan_package([update(title=STANDALONE_TITLE, bundled=[update(BUNDLED_1, contents=["http://x/a"])])])
            job.job_file("windows11.0-kb5068861-x64.msu")
        system = re.escape(self.SYSTEM_FOLDER)
        steps = [self.registered, SEARCHED, (INFORMATION, r"Update found: %s; way: standalone package"
                                        % re.escape(STANDALONE_TITLE)),
                 (INFORMATION, r'Installer started: %s\\cmd\.exe /c %s\\wusa\.exe "%s" /quiet /norestart'
                               % (system, system, self.job_path("windows11.0-kb5068861-x64.msu")))]
        job = self.run_job(prepare, WUSA_EXIT_CODE="3010")
        self.assertJobLines(job, self.around(job, steps + [
            (INFORMATION, r"Installer ended: exit code 0xBC2, " + MS),
        ], (INFORMATION, r"Outcome: succeeded, restart needed"), 6))

        job = self.run_job(prepare, WUSA_EXIT_CODE="1")
        self.assertJobLines(job, self.around(job, steps + [
            (ERROR, r"Installer ended: exit code 0x1, " + MS),
        ], (ERROR, r"Outcome: failed: Exit Code-->0x1"), -6))

    def test_nothing_to_do(self):
        job = self.run_job(lambda job: job.scan_package([]))
        self.assertJobLines(job, self.around(job, [
            self.registered, SEARCHED, (INFORMATION, r"The update was not found: nothing to do"),
        ], (INFORMATION, r"Outcome: succeeded, restart not needed"), 6))

        job = self.run_job(lambda job: job.scan_package([update(installed=True)]))
        self.assertJobLines(job, self.around(job, [
            self.registered, SEARCHED, (INFORMATION, r"The update is installed already: nothing to do"),
        ], (INFORMATION, r"Outcome: succeeded, restart not needed"), 6))

        # The search fails: the job has nothing to do but cannot know it.
        job = self.run_job(lambda job: job.scan_package([]), WUA_SIM_FAULTS="IUpdateSearcher::Search=0x80240022")
        self.assertJobLines(job, self.around(job, [
            self.registered, (ERROR, r"Search for update %s: hr 0x80240022, %s" % (UPDATE_ID, MS)),
        ], (ERROR, r"Outcome: failed: Error description:.*"), -6))


class ReportLinesTest(JobLogTestCase):
    def test_com_start_failure_and_reports_that_fail(self):
        # Report attempts that fail print their console text in the log too,
        # and what the spool keeps is logged with them.
        job = LoggedJob(self)
        job.scan_package([])
        with StatusServer([HTML_500, "reset"]) as server:
            job.started = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
            run = run_worker(job_args(server.port, update_id=UPDATE_ID), env=dict(job.env, WORKER_COINIT_RESULT="0x80004005"))
            job.ended = datetime.datetime.now(datetime.timezone.utc)
        job.lines = cmtrace.read_log(os.path.join(log_folder(job.root), cmtrace.LOG_FILE))
        self.assertIn("Soap failure. HTTP Error", run.text)
        attempt = r"Report attempt %d of 5 to http://127\.0\.0\.1:\d+/VeltraneWS/veltwua, \d+ ms: "
        recount = (INFORMATION, r"Record written to the report spool: the outcome with its failed attempts counted")
        self.assertJobLines(job, [
            start_line(server.port), INTERRUPTED_KEPT, (ERROR, r"COM start: hr 0x80004005, " + MS),
            (ERROR, r"Outcome: failed: Failed to initialize COM library\. Error description:.*"), OUTCOME_KEPT,
            (ERROR, attempt % 1 + r"Soap failure\. HTTP Error"), recount,
            (ERROR, attempt % 2 + r"Soap failure\. .*"), recount,
            acknowledged(3), finished(-6)])

    def test_report_never_acknowledged(self):
        job = LoggedJob(self)
        job.scan_package([])
        job.started = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        run_worker(job_args(unused_port(), update_id=UPDATE_ID), env=job.env)
        job.ended = datetime.datetime.now(datetime.timezone.utc)
        job.lines = cmtrace.read_log(os.path.join(log_folder(job.root), cmtrace.LOG_FILE))
        refused = [line for line in job.lines if line.text.startswith("Report attempt")]
        self.assertEqual(len(refused), 5)
        for line in refused:
            self.assertRegex(line.text, r", \d+ ms: Soap failure\. Connection refused$")
            self.assertEqual(line.type, ERROR)
        self.assertRegex(job.lines[-1].text, "^" + finished(6, acknowledged=False)[1] + "$")
        self.assertEqual(job.lines[-1].type, ERROR)

    def test_time_limit_lines_come_from_the_limit_s_thread(self):
        job = LoggedJob(self)
        job.scan_package([])
        job.run(WORKER_JOB_TIME_LIMIT_MS="200", WUA_SIM_FAULTS="IUpdateSearcher::Search=block")
        texts = ["%d %s" % (line.type, line.text) for line in job.lines]
        self.assertEqual([line.text for line in job.lines[-4:]], [
            "Time limit passed: The deployment did not finish within 8 hours: the update agent did not return.",
            "Record written to the report spool: the outcome",
            "Report of the time limit to http://127.0.0.1:%d/VeltraneWS/veltwua: acknowledged"
            % int(re.search(r"127\.0\.0\.1:(\d+)", job.lines[0].text)[1]),
            "Job finished: failed, nStatus -6, at its time limit"], "\n".join(texts))
        self.assertEqual([line.type for line in job.lines[-4:]], [ERROR, INFORMATION, INFORMATION, ERROR])
        # The job's own thread is inside the update agent's search.
        self.assertNotEqual(job.lines[-1].thread, job.lines[0].thread)
        self.assertRegex(job.lines[-5].text, r"^Offline scan package ")


class ReminderTest(unittest.TestCase):
    def test_reminder_lines(self):
        root = tempfile.mkdtemp(prefix="reminder-log-")
        self.addCleanup(shutil.rmtree, root, True)
        tray = os.path.join(root, "D", "ORV", "PatchTray")
        os.makedirs(tray)
        program = os.path.join(tray, "VeltraneORVTray.exe")
        with open(program, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(program, 0o755)
        utmp = os.path.join(root, "utmp")
        open(utmp, "wb").close()
        env = {"WORKER_DRIVE_ROOT": root, "WORKER_UTMP_FILE": utmp}
        run_worker(["D", "1", "2", "3", "4", "5", "6", "a\r\nb ]LOG]!> c"], env=env)
        run_worker(["D", "0", "2", "3", "4", "5", "6", "text"], env=env)
        lines = cmtrace.read_log(os.path.join(log_folder(root, "D"), cmtrace.LOG_FILE))
        self.assertEqual({line.subject for line in lines}, {"Reminder"})
        texts = [line.text for line in lines]
        self.assertRegex(texts[0], r"^PatchWorker \d+\.\d+\.\d+ started: process \d+, mode reboot reminder$")
        self.assertEqual(texts[1], "Session chosen: 0 (the first active one; 0 when none is)")
        # Nobody is logged on: no token, the worker's own session.
        self.assertEqual(lines[2].type, WARNING)
        self.assertRegex(texts[2], r"^No user token for session 0: error \d+; the worker's own session instead$")
        # The text from outside cannot end the line or the text.
        self.assertEqual(texts[3], 'Tray program started: "D:\\ORV\\PatchTray\\VeltraneORVTray.exe" 1 2 3 4 5 6 '
                                   '"a  b ]LOG]!  c"')
        self.assertRegex(texts[4], r"^PatchWorker .* mode reboot reminder$")
        self.assertEqual(texts[5:], ["The reminder is disabled: nothing started"])


class SecretTest(unittest.TestCase):
    """The password and its Base64 form with the user name are in no file
    that the worker writes, in jobs of every kind and failure."""

    def test_password_is_in_no_file(self):
        root = tempfile.mkdtemp(prefix="secret-")
        self.addCleanup(shutil.rmtree, root, True)
        os.makedirs(os.path.join(root, "C", "ORV", "PatchDeploy"))
        env = {"WORKER_DRIVE_ROOT": root}

        def run(port, transport="0", job_id="42", **more):
            run_worker(job_args(port, transport=transport, job=job_id, user=USER, password=PASSWORD),
                       env=dict(env, **more))

        package = os.path.join(root, "C", "ORV", "PatchDeploy", "wsusscn2.cab")
        with open(package, "w") as f:
            f.write('{"service_id": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d", "updates": []}')
        # Unreachable, kept in the spool; then delivered by a later job.
        run(unused_port(), job_id="1")
        with StatusServer([HTML_500, "reset", ACCEPTED, ACCEPTED]) as server:
            run(server.port, job_id="2")
        with StatusServer(tls=True) as server:
            run(server.port, transport="1", job_id="3")
        run(unused_port(), job_id="4", WORKER_COINIT_RESULT="0x80004005")
        run(unused_port(), job_id="5", WUA_SIM_FAULTS="IUpdateSearcher::Search=0x80240022")
        run("0", job_id="6")           # a port that is not valid
        run(unused_port(), job_id="x/y")   # a job folder that is not valid
        run_worker(["C", "1", "2", "3", "4", "5", "6", "Restart now"], env=env)
        forms = [PASSWORD.encode(), PASSWORD.encode("utf-16-le"),
                 base64.b64encode(("%s:%s" % (USER, PASSWORD)).encode())]
        written = []
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                if path == package:
                    continue
                written.append(os.path.relpath(path, root))
                with open(path, "rb") as f:
                    data = f.read()
                for form in forms:
                    self.assertNotIn(form, data, path)
        self.assertIn(os.path.join("C", "ORV", "PatchDeploy", "Logs", cmtrace.LOG_FILE), written)
        lines = cmtrace.read_log(os.path.join(log_folder(root), cmtrace.LOG_FILE))
        self.assertIn("Job 6", {line.subject for line in lines})


class UnusableLogTest(unittest.TestCase):
    """A log that cannot be used leaves the console, the request, the spool
    and the exit code exactly as a usable one does."""

    def run_job(self, root, server, prepare=None):
        os.makedirs(os.path.join(root, "C", "ORV", "PatchDeploy"), exist_ok=True)
        with open(os.path.join(root, "C", "ORV", "PatchDeploy", "wsusscn2.cab"), "w") as f:
            f.write('{"service_id": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d", "updates": []}')
        before = len(server.requests)
        run = run_worker(job_args(server.port), env={"WORKER_DRIVE_ROOT": root})
        return run, [request.head + b"\r\n\r\n" + request.body for request in server.requests[before:]]

    def test_held_or_missing_log_changes_nothing(self):
        roots = [tempfile.mkdtemp(prefix="log-%d-" % n) for n in range(4)]
        for root in roots:
            self.addCleanup(shutil.rmtree, root, True)
        with StatusServer([HTML_500, ACCEPTED] * 4) as server:
            usable = self.run_job(roots[0], server)
            log = os.path.join(log_folder(roots[1]), cmtrace.LOG_FILE)
            os.makedirs(log_folder(roots[1]))
            with open(log, "wb") as f:
                f.write(cmtrace.MARK)
            with holding([HOLD_FILE, "r", "-", log], log):
                held = self.run_job(roots[1], server)
            # The Logs folder is a link, and a file stands in its place.
            os.makedirs(os.path.join(roots[2], "C", "ORV", "PatchDeploy"))
            os.symlink(roots[0], log_folder(roots[2]))
            linked = self.run_job(roots[2], server)
            os.makedirs(os.path.join(roots[3], "C", "ORV", "PatchDeploy"))
            open(log_folder(roots[3]), "w").close()
            blocked = self.run_job(roots[3], server)
        self.assertTrue(usable[0].text.endswith("Soap failure. HTTP ErrorSuccess"), usable[0].text)
        for other in (held, linked, blocked):
            self.assertEqual(other[0].raw, usable[0].raw)
            self.assertEqual(other[0].returncode, 0)
            self.assertEqual(other[1], usable[1])
        for root in roots[1:]:
            reports = os.path.join(root, "C", "ORV", "PatchDeploy", "Reports")
            self.assertEqual(spool_files(reports), spool_files(os.path.join(roots[0], "C", "ORV", "PatchDeploy",
                                                                            "Reports")))
        with open(log, "rb") as f:
            self.assertEqual(f.read(), cmtrace.MARK)
        # Only the usable job wrote to it: not the one whose Logs is a link to it.
        lines = cmtrace.read_log(os.path.join(log_folder(roots[0]), cmtrace.LOG_FILE))
        self.assertEqual(sum(1 for line in lines if line.text.startswith("PatchWorker ")), 1)


class RotationTest(unittest.TestCase):
    def test_log_beyond_2_mib_is_rotated_at_the_next_job(self):
        root = tempfile.mkdtemp(prefix="rotation-")
        self.addCleanup(shutil.rmtree, root, True)
        os.makedirs(log_folder(root))
        log = os.path.join(log_folder(root), cmtrace.LOG_FILE)
        rotated = os.path.join(log_folder(root), cmtrace.ROTATED_FILE)
        line = ('<![LOG[Job 1: filler]LOG]!><time="00:00:00.000+000" date="01-01-2026" component="PatchWorker" '
                'context="" type="1" thread="1" file="">\r\n').encode()
        below = cmtrace.MARK + line * ((2 * 1024 * 1024 - 3) // len(line))
        with open(log, "wb") as f:
            f.write(below)
        with open(rotated, "wb") as f:
            f.write(b"an earlier rotation")
        with StatusServer() as server:
            # Below 2 MiB the job appends; the log is then beyond it, and
            # the next job rotates it.
            run_worker(job_args(server.port, job="1"), env={"WORKER_DRIVE_ROOT": root})
            with open(log, "rb") as f:
                grown = f.read()
            self.assertTrue(grown.startswith(below) and len(grown) > 2 * 1024 * 1024)
            run_worker(job_args(server.port, job="2"), env={"WORKER_DRIVE_ROOT": root})
        with open(rotated, "rb") as f:
            self.assertEqual(f.read(), grown)
        lines = cmtrace.read_log(log)
        self.assertEqual({line.subject for line in lines}, {"Job 2"})
        self.assertTrue(lines[-1].text.startswith("Job finished: "), lines[-1])


class TwoWorkersTest(unittest.TestCase):
    def test_two_workers_at_once_leave_whole_lines(self):
        """Both workers' report attempts are held by the server until both
        have arrived, so the two write their lines at the same time, into
        a log that neither found (the first makes it)."""
        root = tempfile.mkdtemp(prefix="two-workers-")
        self.addCleanup(shutil.rmtree, root, True)
        os.makedirs(os.path.join(root, "C", "ORV", "PatchDeploy"))
        with open(os.path.join(root, "C", "ORV", "PatchDeploy", "wsusscn2.cab"), "w") as f:
            f.write('{"service_id": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d", "updates": []}')
        rounds = 5
        barriers = [threading.Barrier(2, timeout=60) for _ in range(rounds)]

        def meet(barrier, answer):
            def reply(conn, stop):
                barrier.wait()
                conn.sendall(answer)
            return reply

        # Each round: both workers' attempt n fails together; the last
        # round acknowledges both.
        replies = []
        for n, barrier in enumerate(barriers):
            answer = ACCEPTED if n == rounds - 1 else HTML_500
            replies += [meet(barrier, answer), meet(barrier, answer)]
        with StatusServer(replies) as server, worker_environment({"WORKER_DRIVE_ROOT": root}) as env:
            workers = [subprocess.Popen([WORKER] + job_args(server.port, job=job), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=env)
                       for job in ("101", "102")]
            for worker in workers:
                self.assertEqual(worker.wait(timeout=120), 0)
        lines = cmtrace.read_log(os.path.join(log_folder(root), cmtrace.LOG_FILE))
        for job in ("101", "102"):
            own = [line.text for line in lines if line.subject == "Job " + job]
            self.assertTrue(own[0].startswith("PatchWorker "), own)
            self.assertEqual(sum(1 for text in own if text.startswith("Report attempt")), rounds)
            self.assertTrue(own[-1].startswith("Job finished: succeeded"), own)
        self.assertEqual(os.listdir(log_folder(root)), [cmtrace.LOG_FILE])


if __name__ == "__main__":
    unittest.main()
