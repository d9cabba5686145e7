"""Programs that the worker starts without its handles neither write into
the worker's console nor keep it open: a parent that reads the worker's
UTF-16 output to its end gets exactly the worker's lines, and meets the end
when the worker exits, even while a program started by the installer runs
on."""

import os
import unittest

from harness import StatusServer, job_args, open_for_writing, run_worker_to_exit
from test_deploy import JOB, STANDALONE_TITLE, UPDATE_ID, DeployTestCase, update

# An installer that talks on its standard output and error and leaves a
# helper behind, which stays until a line arrives through the named pipe.
CHATTY_INSTALLER = """#!/bin/sh
echo "installing $1"
echo "a warning" >&2
( read line < '%s' ) &
exit 0
"""


def release(hold):
    """Ends the helper: the pipe opened for writing (once the helper reads
    it) and closed gives it the end of its input."""
    os.close(open_for_writing(hold))


class ChildOutputTest(DeployTestCase):
    def test_installer_and_its_helper_leave_the_console_to_the_worker(self):
        job = self.job()
        job.scan_package([update(title=STANDALONE_TITLE)])
        job.job_file("windows11.0-kb5068861-x64.msu")
        hold = os.path.join(job.root, "hold")
        os.mkfifo(hold)
        self.addCleanup(release, hold)
        installer = os.path.join(job.system_folder, "wusa.exe")
        with open(installer, "w") as f:
            f.write(CHATTY_INSTALLER % hold)
        os.chmod(installer, 0o755)
        with StatusServer() as server:
            run, ended = run_worker_to_exit(job_args(server.port, update_id=UPDATE_ID, job=JOB), env=job.env)
        job.record(run, server)
        self.assertEqual(job.console, "\r\n\r\nSearching for missing patches. Please wait.\r\nSuccess")
        self.assertReport(job, 6, 1, "")
        self.assertTrue(ended, "the worker's output stays open while the installer's helper runs")


if __name__ == "__main__":
    unittest.main()
