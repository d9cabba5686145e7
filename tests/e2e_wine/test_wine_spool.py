"""The report spool of the Windows executable under Wine: the real
CreateFileW lock without sharing, MoveFileExW with write-through and the
directory search, on drive W: (W:\\ORV\\PatchDeploy\\Reports). Wine waits the
real 60-second pause after a failed report, so a job whose server refuses is
stopped in its first pause instead of waiting out five attempts; the record
it leaves then holds its outcome all the same."""

import os
import signal
import unittest

import wine_harness as wine
from harness import StatusServer, job_args, unused_port
from test_spool import INTERRUPTED, SEARCH_BLOCKS, UNAVAILABLE, UPDATE_ID, Drive, job_ids


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


class WineDrive(Drive):
    """The Linux suite's drive, shown to the prefix as drive W:."""

    def __init__(self, test):
        super().__init__(test, letter=None)
        self.env = {"WUA_SIM_JOURNAL": wine.DRIVE + ":\\journal.log"}
        wine.map_drive(self.root)

    def args(self, port, job):
        return job_args(port, update_id=UPDATE_ID, job=job, drive=wine.DRIVE)

    def run(self, port, job, **env):
        return wine.run_worker(self.args(port, job), env=dict(self.env, **env))

    def start(self, port, job, **env):
        return wine.start_worker(self.args(port, job), env=dict(self.env, **env))


class WineSpool(unittest.TestCase):
    def test_unacknowledged_outcome_is_delivered_by_the_next_job_after_its_own_report(self):
        drive = WineDrive(self)
        with StatusServer([UNAVAILABLE]) as server:
            text, paused = wine.run_until(drive.args(server.port, "101"), "Soap failure. ", env=drive.env)
        self.assertTrue(paused, text)
        refused = server.requests[0].body
        record = drive.record("101")
        for name, value in server.requests[0].report().items():
            self.assertEqual(record[name], value, name)

        with StatusServer() as server:
            second = drive.run(server.port, "102")
        self.assertEqual(second.returncode, 0)
        self.assertTrue(second.text.endswith("Success") and second.text.count("Success") == 1, second.text)
        self.assertEqual(job_ids(server), ["102", "101"])
        self.assertEqual(server.requests[1].body, refused)
        self.assertEqual(drive.files(), [])

    def test_killed_job_is_reported_as_interrupted_and_never_by_a_job_running_beside_it(self):
        drive = WineDrive(self)
        blocked = drive.start(unused_port(), "201", **SEARCH_BLOCKS)
        try:
            drive.wait_for_journal("IUpdateSearcher::Search", blocked)
            self.assertEqual(drive.record("201")["strErrorDescription"], INTERRUPTED)
            with StatusServer() as server:
                beside = drive.run(server.port, "202", WUA_SIM_FAULTS="")
            self.assertTrue(beside.text.endswith("Success"), beside.text)
            self.assertEqual(job_ids(server), ["202"])
            self.assertEqual(drive.files(), ["201.lock", "201.xml"])
        finally:
            blocked.send_signal(signal.SIGKILL)
            blocked.wait()
            blocked.stdout.close()
        with StatusServer() as server:
            drive.run(server.port, "203")
        self.assertEqual(job_ids(server), ["203", "201"])
        self.assertEqual(server.requests[1].report()["strErrorDescription"], INTERRUPTED)
        self.assertEqual(drive.files(), [])


if __name__ == "__main__":
    unittest.main()
