"""The job log of the Windows executable under Wine: the lines of each way
(the Linux suite's expectations on drive W:, with Wine's system folder),
a log that Wine's hold_file.exe holds without sharing, which leaves console
and request as they are without it, and rotation at 2 MiB."""

import base64
import os
import tempfile
import threading
import unittest

import wine_harness as wine
import cmtrace
import test_job_log
from harness import ACCEPTED, HTML_500, StatusServer, job_args
from test_wine_deploy import WineJob

SCAN_PACKAGE = '{"service_id": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d", "updates": []}'


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class WineLoggedJob(test_job_log.LogReading, WineJob):
    pass


class WineWaysTest(test_job_log.WaysTest):
    """Wine's own cmd.exe runs this build's stand-in wusa.exe."""

    DRIVE = wine.DRIVE
    SYSTEM_FOLDER = "C:\\windows\\system32"

    def setUp(self):
        super().setUp()
        self.enterContext(wine.standin_installer())

    def make_job(self):
        return WineLoggedJob(self)


def nothing_to_do_drive(test):
    """A temporary folder for drive W: with its Logs folder and an offline
    scan package that holds nothing."""
    root = test.enterContext(tempfile.TemporaryDirectory())
    os.makedirs(os.path.join(root, "ORV", "PatchDeploy", "Logs"))
    with open(os.path.join(root, "ORV", "PatchDeploy", "wsusscn2.cab"), "w") as f:
        f.write(SCAN_PACKAGE)
    return root


def log_path(root, name=cmtrace.LOG_FILE):
    return os.path.join(root, "ORV", "PatchDeploy", "Logs", name)


class WineUnusableLogTest(unittest.TestCase):
    def run_job(self, root, server, job):
        wine.map_drive(root)
        before = len(server.requests)
        run = wine.run_worker(job_args(server.port, drive=wine.DRIVE, job=job))
        return run, [request.head + b"\r\n\r\n" + request.body for request in server.requests[before:]]

    def test_log_held_without_sharing_changes_nothing(self):
        usable_root, held_root = nothing_to_do_drive(self), nothing_to_do_drive(self)
        with open(log_path(held_root), "wb") as f:
            f.write(cmtrace.MARK)
        with StatusServer([HTML_500, ACCEPTED] * 2) as server:
            usable = self.run_job(usable_root, server, "42")
            wine.map_drive(held_root)
            with wine.held_file(wine.DRIVE + ":\\ORV\\PatchDeploy\\Logs\\" + cmtrace.LOG_FILE, "r", "-"):
                held = self.run_job(held_root, server, "42")
        self.assertTrue(usable[0].text.endswith("Soap failure. HTTP ErrorSuccess"), usable[0].text)
        self.assertEqual(held[0].raw, usable[0].raw)
        self.assertEqual(held[1], usable[1])
        with open(log_path(held_root), "rb") as f:
            self.assertEqual(f.read(), cmtrace.MARK)
        lines = cmtrace.read_log(log_path(usable_root))
        self.assertTrue(lines[0].text.startswith("PatchWorker "), lines[0])
        self.assertTrue(lines[-1].text.startswith("Job finished: succeeded, nStatus 6"), lines[-1])


class WineRotationTest(unittest.TestCase):
    def test_log_beyond_2_mib_is_rotated_and_its_holders_share_the_rename(self):
        root = nothing_to_do_drive(self)
        line = ('<![LOG[Job 1: filler]LOG]!><time="00:00:00.000+000" date="01-01-2026" component="PatchWorker" '
                'context="" type="1" thread="1" file="">\r\n').encode()
        full = cmtrace.MARK + line * (2 * 1024 * 1024 // len(line) + 1)
        with open(log_path(root), "wb") as f:
            f.write(full)
        wine.map_drive(root)
        with StatusServer() as server:
            # A reader that shares everything (an administrator's viewer)
            # does not keep the log from being renamed.
            with wine.held_file(wine.DRIVE + ":\\ORV\\PatchDeploy\\Logs\\" + cmtrace.LOG_FILE, "r", "rwd"):
                wine.run_worker(job_args(server.port, drive=wine.DRIVE, job="2"))
        with open(log_path(root, cmtrace.ROTATED_FILE), "rb") as f:
            self.assertEqual(f.read(), full)
        lines = cmtrace.read_log(log_path(root))
        self.assertEqual({line.subject for line in lines}, {"Job 2"})
        self.assertTrue(lines[-1].text.startswith("Job finished: succeeded"), lines[-1])


class WineSecretTest(unittest.TestCase):
    def test_password_is_in_no_file(self):
        root = nothing_to_do_drive(self)
        wine.map_drive(root)
        password, user = test_job_log.PASSWORD, test_job_log.USER

        def run(port, transport="0", job="42", **env):
            wine.run_worker(job_args(port, transport=transport, job=job, drive=wine.DRIVE, user=user,
                                     password=password), env=env)

        # Under Wine a failed attempt pauses for the real 60 s: the jobs'
        # reports are acknowledged at once, their outcomes differ.
        with StatusServer() as server:
            run(server.port, job="1")
            run(server.port, job="2", WUA_SIM_FAULTS="IUpdateSearcher::Search=0x80240022")
            run("0", job="4")
        with StatusServer(tls=True) as server:
            run(server.port, transport="1", job="3")
        forms = [password.encode(), password.encode("utf-16-le"),
                 base64.b64encode(("%s:%s" % (user, password)).encode())]
        for folder, _, names in os.walk(root):
            for name in names:
                with open(os.path.join(folder, name), "rb") as f:
                    data = f.read()
                for form in forms:
                    self.assertNotIn(form, data, os.path.join(folder, name))
        subjects = {line.subject for line in cmtrace.read_log(log_path(root))}
        self.assertEqual(subjects, {"Job 1", "Job 2", "Job 3", "Job 4"})


class WineTwoWorkersTest(unittest.TestCase):
    def test_two_workers_at_once_leave_whole_lines(self):
        """Both workers' attempts are held by the server until both have
        arrived, so that both write at once, into a log neither found."""
        root = nothing_to_do_drive(self)
        os.rmdir(os.path.join(root, "ORV", "PatchDeploy", "Logs"))
        wine.map_drive(root)
        # Under Wine each failed attempt pauses for the real 60 s.
        rounds = 2
        replies = []
        for n in range(rounds):
            barrier = threading.Barrier(2, timeout=120)
            answer = ACCEPTED if n == rounds - 1 else HTML_500

            def reply(conn, stop, barrier=barrier, answer=answer):
                barrier.wait()
                conn.sendall(answer)
            replies += [reply, reply]
        with StatusServer(replies) as server:
            workers = [wine.start_worker(job_args(server.port, job=job, drive=wine.DRIVE)) for job in ("101", "102")]
            for worker in workers:
                worker.communicate(timeout=300)
        # Every line parses. Whether one went missing is left to the Linux
        # suite: under Wine, appends of two processes at the same moment were
        # seen to land at the same place (one line of the same length taking
        # the other's), which Windows does not do with an append-only handle.
        lines = cmtrace.read_log(log_path(root))
        for job in ("101", "102"):
            own = [line.text for line in lines if line.subject == "Job " + job]
            self.assertTrue(own[0].startswith("PatchWorker "), own)
            self.assertTrue(own[-1].startswith("Job finished: succeeded"), own)
        self.assertEqual(sorted(os.listdir(os.path.dirname(log_path(root)))), [cmtrace.LOG_FILE])


if __name__ == "__main__":
    unittest.main()
