"""A demonstration of the worker on a simulated drive C:

- the agent's offline scan package (the simulated update agent reads it as its
  catalog) holds a regular update with two bundled updates, whose content
  files the agent has placed in job folder C:\\ORV\\1001, and a cumulative
  update for Windows 11, whose standalone package waits in C:\\ORV\\1002;
- job 1001 installs the regular update from the cached content, job 1002 runs
  the standalone installer (a stand-in wusa.exe) through cmd /c, both
  stand-ins in the system folder C:\\Windows\\System32;
- a loopback server stands in for the management server; the demo prints
  each job's console lines and the report that the server received, decoded.

Usage: python3 scripts/demo.py [build folder]"""

import json
import os
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
os.environ.setdefault("WORKER_BINARY_DIR", os.path.join(ROOT, sys.argv[1] if len(sys.argv) > 1 else "build"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import StatusServer, install_standins, job_args, run_worker  # noqa: E402

REGULAR_ID = "6c2f8e1a-93b4-4d7e-a5c0-1f2e3d4c5b6a"
CUMULATIVE_ID = "0e9d8c7b-6a5f-4e3d-9c2b-1a0f9e8d7c6b"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w" if isinstance(data, str) else "wb") as f:
        f.write(data)


def main():
    with tempfile.TemporaryDirectory() as drive_root:
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
            ],
        }
        write(os.path.join(orv, "PatchDeploy", "wsusscn2.cab"), json.dumps(catalog, indent=2))
        write(os.path.join(orv, "1001", "kb5071001-x64_core.cab"), b"core content")
        write(os.path.join(orv, "1001", "kb5071001-x64_lang.cab"), b"language content")
        write(os.path.join(orv, "1002", "windows11.0-kb5071002-x64.msu"), b"standalone package")

        install_standins(drive_root)
        env = {
            "WORKER_DRIVE_ROOT": drive_root,
            "WUA_SIM_JOURNAL": os.path.join(drive_root, "agent-journal.log"),
            "WUSA_EXIT_CODE": "3010",  # the installer asks for a restart
            "WUSA_ARGS_FILE": os.path.join(drive_root, "wusa-arguments.txt"),
        }
        print("Simulated drive C: is %s" % os.path.join(drive_root, "C"))
        for job, update_id, transport in (("1001", REGULAR_ID, "0"), ("1002", CUMULATIVE_ID, "1")):
            with StatusServer(tls=transport == "1") as server:
                args = job_args(server.port, transport=transport, update_id=update_id, job=job, drive="C")
                run = run_worker(args, env=env)
            scheme = "https" if transport == "1" else "http"
            print("\n=== job %s: patch_worker %s" % (job, " ".join(args)))
            print("--- console (UTF-16LE, CR LF):")
            print(run.text.replace("\r\n", "\n").rstrip("\n"))
            print("\n--- %s report received by the loopback server (%d request%s):"
                  % (scheme, len(server.requests), "" if len(server.requests) == 1 else "s"))
            for request in server.requests:
                print("    " + request.request_line)
                for field, value in request.report().items():
                    print("    %-20s %s" % (field, value))
        with open(env["WUSA_ARGS_FILE"]) as arguments:
            print("\n--- the stand-in wusa.exe was started with: %s (and exited with 3010)"
                  % " ".join(arguments.read().split()))
        print("\n--- the update agent's journal: what the worker asked of it (releases left out)")
        with open(env["WUA_SIM_JOURNAL"]) as journal:
            for line in journal:
                if "::Release " not in line:
                    print("    " + line.rstrip("\n"))


if __name__ == "__main__":
    main()
