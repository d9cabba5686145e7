"""The report spool of the Windows executable under Wine: the real
LockFileEx job lock, MoveFileExW with write-through and the directory
search, on drive W: (W:\\ORV\\PatchDeploy\\Reports). Wine waits the real
60-second pause after a failed report, so a job whose server refuses is
stopped in its first pause instead of waiting out five attempts; the record
it leaves then holds its outcome all the same."""

import contextlib
import unittest

import wine_harness as wine
import test_spool
from harness import StatusServer, job_args
from test_spool import UNAVAILABLE, UPDATE_ID, Drive


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

    def args(self, port, job, transport="0"):
        return job_args(port, update_id=UPDATE_ID, job=job, drive=wine.DRIVE, transport=transport)

    def run(self, port, job, transport="0", **env):
        return wine.run_worker(self.args(port, job, transport), env=dict(self.env, **env))

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
        test_spool.check_next_job_delivers(self, drive, "101", refused)


class WineRunningJobs(test_spool.RunningJobs):
    def drive(self):
        return WineDrive(self)


class WineTimeLimit(test_spool.TimeLimit):
    """The Windows build takes the shortened time limit too: its watchdog
    ends the job blocked in the update agent and reports it."""
    LIMIT_MS = "5000"

    def drive(self):
        return WineDrive(self)

    @contextlib.contextmanager
    def failing_port(self):
        # A refused connection under Wine waits out the connect limit: the
        # server answers with an error status instead.
        with StatusServer([UNAVAILABLE]) as server:
            yield server.port


if __name__ == "__main__":
    unittest.main()
