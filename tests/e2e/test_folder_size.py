"""Folders of any size: a job folder, or a report spool, crowded with
150,000 entries. The job still finds its package and reports, and its peak
memory stays below a bound that does not grow with the folder: the
directory search reads a folder as its entries are asked for."""

import os
import subprocess
import tempfile
import unittest

from harness import WORKER, StatusServer, WorkerRun, decode_console, job_args, spool_files, worker_environment
from test_deploy import STANDALONE_TITLE, UPDATE_ID, DeployTestCase, update

ENTRIES = 150_000
# Peak resident memory of the whole run, in KiB as getrusage reports it.
PEAK_BOUND_KIB = 32 * 1024
# Under AddressSanitizer (scripts/test-sanitizers sets its options) freed
# memory is held back in quarantine and shadow memory is counted: the peak
# says nothing about the worker's own use, and only the report is checked.
SANITIZED = "ASAN_OPTIONS" in os.environ
# A hard link count that every Linux file system allows.
LINKS_PER_FILE = 30_000
# A run of the job over a crowded folder ends within this many seconds.
RUN_LIMIT = 120
# GNU time, which reports a program's peak memory.
MEASURER = "/usr/bin/time"
PACKAGE = "windows11.0-kb5068861-x64.msu"


def crowd(folder, name_format, count):
    """Adds count entries named name_format % i to folder: hard links of a
    few empty files, which is quicker than making a file for each."""
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        if i % LINKS_PER_FILE == 0:
            source = os.path.join(folder, name_format % i)
            os.close(os.open(source, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644))
        else:
            os.link(source, os.path.join(folder, name_format % i))


def run_worker_measured(args, env):
    """Runs the worker and returns the run and its peak resident memory in
    KiB (the worker's, or that of a program it started when larger). GNU
    time measures it: a child of the test itself would also count the
    memory that this Python process had when it made the child."""
    with tempfile.TemporaryDirectory() as scratch, worker_environment(env) as full_env:
        peak_file = os.path.join(scratch, "peak")
        proc = subprocess.run([MEASURER, "-f", "%M", "-o", peak_file, WORKER] + args, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, env=full_env, timeout=RUN_LIMIT)
        with open(peak_file) as lines:
            peak = int(lines.read().split()[-1])
    return WorkerRun(proc.stdout, decode_console(proc.stdout), proc.returncode), peak


class CrowdedFolderTest(DeployTestCase):
    def test_a_crowded_job_folder_or_spool_changes_neither_the_report_nor_the_peak_memory(self):
        for crowded in ("job folder", "spool"):
            with self.subTest(crowded=crowded):
                job = self.job()
                job.scan_package([update(title=STANDALONE_TITLE)])
                job.job_file(PACKAGE)
                reports = os.path.join(job.orv, "PatchDeploy", "Reports")
                if crowded == "job folder":
                    # Other names, and a second package that NTFS lists
                    # after the first: the choice does not depend on the
                    # order in which the folder lists them.
                    crowd(job.job_folder, "part%06d.cab", ENTRIES)
                    job.job_file("Z-" + PACKAGE.upper())
                else:
                    # Names that the spool's own listings match and pass over.
                    crowd(reports, "note%06d.xml", ENTRIES)
                with StatusServer() as server:
                    run, peak = run_worker_measured(job_args(server.port, update_id=UPDATE_ID),
                                                    dict(job.env, WUSA_EXIT_CODE="0"))
                job.record(run, server)
                self.assertReport(job, 6, 1, "")
                self.assertEqual(job.installer_args[0], job.windows_path(PACKAGE))
                # The acknowledged report is not kept; nothing else goes.
                left = len(spool_files(reports))
                self.assertEqual(left, ENTRIES if crowded == "spool" else 0)
                if not SANITIZED:
                    self.assertLess(peak, PEAK_BOUND_KIB, "peak memory in KiB")


if __name__ == "__main__":
    unittest.main()
