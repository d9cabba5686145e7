"""A demonstration of the worker on a simulated drive C:

- the agent's offline scan package (the simulated update agent reads it as its
  catalog) holds a regular update with two bundled updates, whose content
  files the agent has placed in job folder C:\\ORV\\1001, a cumulative update
  for Windows 11, whose standalone package waits in C:\\ORV\\1002, and an
  update that is installed already;
- job 1001 installs the regular update from the cached content, job 1002 runs
  the standalone installer (a stand-in wusa.exe) through cmd /c, both
  stand-ins in the system folder C:\\Windows\\System32;
- job 1003 finds its update installed while the management server is down:
  its report stays in the report spool, and job 1004 delivers it after its
  own report;
- a loopback server stands in for the management server; the demo prints
  each job's console lines and the reports that the server received, decoded.

Usage: python3 scripts/demo.py [--keep] [build folder]
With --keep the simulated drive is left in place, and its folder printed."""

import json
import os
import shutil
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
KEEP = "--keep" in sys.argv[1:]
ARGUMENTS = [a for a in sys.argv[1:] if a != "--keep"]
os.environ.setdefault("WORKER_BINARY_DIR", os.path.join(ROOT, ARGUMENTS[0] if ARGUMENTS else "build"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import SPOOL_LOCK_FILE, StatusServer, install_standins, job_args, run_worker  # noqa: E402

REGULAR_ID = "6c2f8e1a-93b4-4d7e-a5c0-1f2e3d4c5b6a"
CUMULATIVE_ID = "0e9d8c7b-6a5f-4e3d-9c2b-1a0f9e8d7c6b"
INSTALLED_ID = "3b1d7e55-2c4a-4f08-b9e6-7d5c4b3a2f10"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w" if isinstance(data, str) else "wb") as f:
        f.write(data)


def make_drive(drive_root):
    orv = os.path.join(drive_root, "C", "ORV")
    catalog = {
        "service_id": "5ca1ab1e-0000-4000-8000-00000000d3e0",
        "updates": [
            {
                "id": REGULAR_ID,
                "title": "2026-11 Security Update for Contoso Runtime 4.8 (KB5071001)",
                "bundled": [
                    {"id": "b1000000-0000-4000-8000-000000000001",
                     "contents": ["http://download.example/c/msdownload/update/kb5071001-x64_core.cab"]},
                    {"id": "b1000000-0000-4000-8000-000000000002",
                     "contents": ["http://download.example/c/msdownload/update/kb5071001-x64_lang.cab"]},
                ],
                "install": {"result_code": 2, "reboot_required": True},
            },
            {
                "id": CUMULATIVE_ID,
                "title": "2026-11 Cumulative Update for Windows 11 Version 24H2 for x64-based Systems (KB5071002)",
            },
            {
                "id": INSTALLED_ID,
                "title": "2026-10 Update for Contoso Agent 2.1 (KB5070003)",
                "installed": True,
            },
        ],
    }
    write(os.path.join(orv, "PatchDeploy", "wsusscn2.cab"), json.dumps(catalog, indent=2))
    write(os.path.join(orv, "1001", "kb5071001-x64_core.cab"), b"core content")
    write(os.path.join(orv, "1001", "kb5071001-x64_lang.cab"), b"language content")
    write(os.path.join(orv, "1002", "windows11.0-kb5071002-x64.msu"), b"standalone package")
    install_standins(drive_root)
    return orv


def print_job(job, way, args, run):
    print("\n=== job %s: %s" % (job, way))
    print("    patch_worker %s" % " ".join(args))
    print("--- console (UTF-16LE, CR LF):")
    print(run.text.replace("\r\n", "\n").rstrip("\n"))


def print_reports(server, scheme):
    print("\n--- %s reports received by the loopback server (%d request%s):"
          % (scheme, len(server.requests), "" if len(server.requests) == 1 else "s"))
    for request in server.requests:
        print("    " + request.request_line)
        for field, value in request.report().items():
            print("    %-20s %s" % (field, value))


def print_spool(reports):
    names = sorted(n for n in os.listdir(reports) if n != SPOOL_LOCK_FILE) if os.path.isdir(reports) else []
    print("\n--- the report spool C:\\ORV\\PatchDeploy\\Reports holds: %s" % (", ".join(names) or "no record"))
    for name in names:
        with open(os.path.join(reports, name), encoding="utf-8") as record:
            for line in record.read().rstrip("\n").split("\n"):
                print("    " + line)


def run_jobs(drive_root):
    orv = make_drive(drive_root)
    reports = os.path.join(orv, "PatchDeploy", "Reports")
    env = {
        "WORKER_DRIVE_ROOT": drive_root,
        "WUA_SIM_JOURNAL": os.path.join(drive_root, "agent-journal.log"),
        "WUSA_EXIT_CODE": "3010",  # the installer asks for a restart
        "WUSA_ARGS_FILE": os.path.join(drive_root, "wusa-arguments.txt"),
        "CMD_ARGS_FILE": os.path.join(drive_root, "cmd-arguments.txt"),
        # The worker's pauses between attempts (60 s each) are left out.
        "WORKER_SLEEP_SCALE": "0",
    }
    print("Simulated drive C: is %s" % os.path.join(drive_root, "C"))

    jobs = (
        ("1001", REGULAR_ID, "0", "cached content: the offline scan package finds the update, its two bundled "
                                  "updates' content files are copied from C:\\ORV\\1001 into the update agent's "
                                  "cache, and the agent installs it (HTTP report)"),
        ("1002", CUMULATIVE_ID, "1", "standalone package: a cumulative update for Windows 11, whose package in "
                                     "C:\\ORV\\1002 wusa.exe installs (HTTPS report)"),
    )
    for job, update_id, transport, way in jobs:
        with StatusServer(tls=transport == "1") as server:
            args = job_args(server.port, transport=transport, update_id=update_id, job=job, drive="C")
            run = run_worker(args, env=env)
        print_job(job, way, args, run)
        print_reports(server, "https" if transport == "1" else "http")
        if job == "1002":
            with open(env["CMD_ARGS_FILE"]) as cmd, open(env["WUSA_ARGS_FILE"]) as wusa:
                print("\n--- the installer: the stand-in C:\\Windows\\System32\\cmd.exe was started with the "
                      "arguments %s" % cmd.read().strip())
                print("    and the stand-in wusa.exe with %s (it exited with 3010: a restart is needed)"
                      % " ".join(wusa.read().split()))

    # The management server is down: its port is bound but refuses every
    # connection. The job's report stays in the spool.
    with StatusServer(listening=False) as server:
        args = job_args(server.port, update_id=INSTALLED_ID, job="1003", drive="C")
        run = run_worker(args, env=env)
    print_job("1003", "the update is installed already; the management server is down (connection refused)",
              args, run)
    print_spool(reports)

    # The server is back: the next job sends its own report, then delivers
    # the kept one.
    with StatusServer() as server:
        args = job_args(server.port, update_id=INSTALLED_ID, job="1004", drive="C")
        run = run_worker(args, env=env)
    print_job("1004", "the update is installed already; the server is back: the job sends its own report, "
                      "then delivers job 1003's", args, run)
    print_reports(server, "http")
    print_spool(reports)

    print("\n--- the update agent's journal for job 1001: what the worker asked of it (releases left out)")
    with open(env["WUA_SIM_JOURNAL"]) as journal:
        for line in journal:
            if "::Release " not in line:
                print("    " + line.rstrip("\n"))
            if line.startswith("IUpdateInstaller::Install"):
                break


def main():
    drive_root = tempfile.mkdtemp(prefix="worker-demo-")
    try:
        run_jobs(drive_root)
    finally:
        if KEEP:
            print("\nThe simulated drive is kept: %s (drive C: is its folder C)" % drive_root)
        else:
            shutil.rmtree(drive_root, ignore_errors=True)


if __name__ == "__main__":
    main()
