"""A file-size limit (RLIMIT_FSIZE) set on the worker by whoever starts it:
a write beyond it fails as on a full disk instead of ending the worker, so
the job reports as it always does and its record is simply not kept."""

import subprocess
import unittest

from harness import (COM_FAILED_LINE, COM_FAILS, SOAP_FAILURE, WORKER, StatusServer, WorkerRun, decode_console,
                     worker_environment)
from test_spool import EVENT_LIMIT, UNAVAILABLE, Drive

# Bytes a file of the worker may grow to: less than any record.
FILE_SIZE_LIMIT = 64
JOB = "101"


def run_limited(drive, port):
    """Runs a job whose COM start-up fails under the file-size limit."""
    with worker_environment(dict(drive.env, **COM_FAILS)) as env:
        proc = subprocess.run(["prlimit", "--fsize=%d" % FILE_SIZE_LIMIT, WORKER] + drive.args(port, JOB),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, env=env,
                              timeout=EVENT_LIMIT)
    return WorkerRun(proc.stdout, decode_console(proc.stdout), proc.returncode)


class FileSizeLimitTest(unittest.TestCase):
    def test_a_record_beyond_the_limit_is_not_kept_and_the_job_still_reports(self):
        for replies, attempts in (([], 1), ([UNAVAILABLE] * 5, 5)):
            with self.subTest(attempts=attempts):
                drive = Drive(self)
                with StatusServer(replies) as server:
                    run = run_limited(drive, server.port)
                self.assertEqual(run.returncode, 0)
                self.assertEqual(len(server.requests), attempts)
                for request in server.requests:
                    report = request.report()
                    self.assertEqual((report["nJobID"], report["nStatus"]), (JOB, "-6"))
                    self.assertTrue(report["strErrorDescription"].startswith("Failed to initialize COM library."))
                self.assertTrue(run.text.startswith(COM_FAILED_LINE), run.text)
                self.assertEqual(run.text.count(SOAP_FAILURE), len(replies))
                # Neither the record nor what its write left behind.
                self.assertEqual(drive.files(), [])


if __name__ == "__main__":
    unittest.main()
