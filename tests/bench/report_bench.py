#!/usr/bin/env python3
"""Per-job cost of the worker against curl: the worker runs a job that has
nothing to deploy and reports it to a loopback status server; curl posts the
same request bytes to the same server. Runs alternate between the two, and
the medians of wall time and of peak memory (max RSS) are compared, over HTTP
over HTTPS without a trust file (curl with -k, as the worker then does not
authenticate the server), and over HTTPS with the agent's trust file holding
the test CA that issued the server's certificate (curl with --cacert of the
same file).

With the job "growth" it instead times cached-content jobs whose update has
1, 10, 100 and 1000 bundled updates, each with one content file in the job
folder, and prints the time per bundled update.

With the job "spool" it measures the report spool's cost on the job with
nothing to do (its time with the spool usable less its time with the spool
unusable) against its minimal durable protocol: a bare loop of the same
file creations, writes, flushes, renames, folder flushes and deletions, in
the same folder, counted from the worker's file-operation journal.

With the job "hostile" it measures the limits on a reply, against the same
job reported to a server that acknowledges at once: peak memory against a
server that answers each of the five attempts with 512 MiB, and the time of
an attempt against a server that drips its reply for ever (HTTP, HTTPS and
endless "100 Continue" lines), as a ratio to the attempt's time limit.

With the job "folders" it measures the peak memory of a job that installs
a standalone package from a job folder holding 150,000 entries, beside the
same job whose job folder holds its package alone.

With the job "instructions" it counts the instructions (valgrind's
callgrind) of the HTTPS job with nothing to do, without a trust file,
beside those of a plain OpenSSL client (tls_exchange, beside run_measured)
that sends the same request bytes to the same server.

Usage: report_bench.py <run_measured> <worker> [runs] [job: com-fails|not-in-catalog|growth|spool|hostile|folders|instructions]"""

import collections
import contextlib
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import types

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import certificates  # noqa: E402
from harness import COM_FAILS, StatusServer, drip, job_args, spool_files, stream  # noqa: E402


MEASURER = None  # run_measured, beside the worker's build


def measure(argv, env):
    """Wall time (s) and max RSS (KiB) of one run of argv, output discarded."""
    out = subprocess.run([MEASURER] + argv, env=env, stdout=subprocess.PIPE, check=True).stdout.split()
    elapsed, rss, code = int(out[0]) / 1e9, int(out[1]), int(out[2])
    if code != 0:
        raise RuntimeError("%s exited with %d" % (argv[0], code))
    return elapsed, rss


def curl_command(request, port, tls, body_file, ca_file=None):
    headers = dict(request.headers)
    scheme = "https" if tls else "http"
    command = [shutil.which("curl"), "-s", "-o", os.devnull, "--http1.1", "-A", headers["User-Agent"],
               "-H", "Accept:", "-H", "Content-Type: " + headers["Content-Type"],
               "-H", "Connection: close", "-H", "Authorization: " + headers["Authorization"],
               "-H", "SOAPAction: " + headers["SOAPAction"], "--data-binary", "@" + body_file,
               "%s://127.0.0.1:%d/VeltraneWS/veltwua" % (scheme, port)]
    if ca_file:
        command[1:1] = ["--cacert", ca_file]
    elif tls:
        command.insert(1, "-k")
    return command


TRUST_FILE = os.path.join("ORV", "PatchDeploy", "StatusServerTrust.pem")


class Trust:
    """A test CA, the server certificate it issued for the loopback address,
    and a drive whose agent folder holds the CA as its trust file."""

    def __init__(self, workdir, job_env):
        folder = os.path.join(workdir, "certificates")
        os.makedirs(folder)
        self.ca = certificates.authority(folder, "bench-ca")
        issued = certificates.server_certificate(folder, "bench-server", ["IP:127.0.0.1"], issuer=self.ca)
        self.presented = (issued.cert, issued.key)
        self.drive = job_env.get("WORKER_DRIVE_ROOT") or os.path.join(workdir, "trust-drive")

    @contextlib.contextmanager
    def placed(self):
        """The trust file on the drive for as long as the block runs."""
        path = os.path.join(self.drive, "C", TRUST_FILE)
        write(path, self.ca.pem())
        try:
            yield
        finally:
            os.remove(path)


def certificate_store_reads(argv, env):
    """The paths of the system's certificate store (OpenSSL's certs folder
    and cert.pem, under its own folder or /etc/ssl) that one run of argv
    opens or looks at, from strace; None without strace."""
    strace = shutil.which("strace")
    if not strace:
        return None
    with tempfile.NamedTemporaryFile("r") as log:
        subprocess.run([strace, "-f", "-qq", "-e", "trace=%file", "-o", log.name] + argv, env=env,
                       stdout=subprocess.DEVNULL, check=True)
        return [line for line in log if "/certs" in line or "cert.pem" in line]


def bench(worker, runs, tls, job_env, workdir, trust=None):
    placed = trust.placed() if trust else contextlib.nullcontext()
    with StatusServer(tls=tls, certificate=trust and trust.presented) as server, placed:
        worker_argv = [worker] + job_args(server.port, transport="1" if tls else "0")
        env = dict(os.environ, WORKER_SLEEP_SCALE="0", **job_env)
        if trust:
            env["WORKER_DRIVE_ROOT"] = trust.drive
        measure(worker_argv, env)  # warm-up; its request is what curl sends
        if len(server.requests) != 1:
            raise RuntimeError("the worker's report did not arrive")
        request = server.requests[0]
        body_file = os.path.join(workdir, "body.xml")
        with open(body_file, "wb") as out:
            out.write(request.body)
        curl_argv = curl_command(request, server.port, tls, body_file, trust and trust.ca.cert)
        measure(curl_argv, env)
        if server.requests[1].body != request.body:
            raise RuntimeError("curl did not send the worker's request body")
        if tls:
            reads = certificate_store_reads(worker_argv, env)
            print("certificate store   %s: %s" % ("with the trust file" if trust else "without a trust file",
                                                  "not measured (no strace)" if reads is None else
                                                  "%d paths of the system's store looked at (goal 0: %s)"
                                                  % (len(reads), verdict(len(reads), 0))))
        worker_runs, curl_runs = [], []
        for _ in range(runs):
            worker_runs.append(measure(worker_argv, env))
            curl_runs.append(measure(curl_argv, env))
        if len(server.requests) != 2 * runs + 2 + (1 if tls else 0):
            raise RuntimeError("a report was lost")
    return worker_runs, curl_runs


UPDATE_ID = "6c2f8e1a-93b4-4d7e-a5c0-1f2e3d4c5b6a"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w" if isinstance(data, str) else "wb") as out:
        out.write(data)


def growth(worker, runs, workdir):
    """Median time of a cached-content job per number of bundled updates."""
    print("growth: cached-content job, median of %d runs per size" % runs)
    times = {}
    for count in (1, 10, 100, 1000):
        drive = os.path.join(workdir, "growth%d" % count)
        orv = os.path.join(drive, "C", "ORV")
        bundled = [{"id": "b1000000-0000-4000-8000-%012d" % i,
                    "contents": ["http://download.example/update/part%d.cab" % i]} for i in range(count)]
        catalog = {"updates": [{"id": UPDATE_ID, "bundled": bundled, "install": {"result_code": 2}}]}
        write(os.path.join(orv, "PatchDeploy", "wsusscn2.cab"), json.dumps(catalog))
        for i in range(count):
            write(os.path.join(orv, "77", "part%d.cab" % i), b"content")
        env = dict(os.environ, WORKER_SLEEP_SCALE="0", WORKER_DRIVE_ROOT=drive)
        with StatusServer() as server:
            argv = [worker] + job_args(server.port, update_id=UPDATE_ID, job="77")
            elapsed = statistics.median(measure(argv, env)[0] for _ in range(runs))
            report = server.requests[0].report()
            if report["nStatus"] != "6":
                raise RuntimeError("the growth job failed: %s" % report)
        times[count] = elapsed
        line = "growth bundled %4d: job %8.2f ms" % (count, elapsed * 1000)
        if count > 1:
            # The job's fixed cost is that of the one-update job.
            line += ", %.4f ms per bundled update beyond the first" % ((elapsed - times[1]) * 1000 / (count - 1))
        print(line)
    # Beyond 100 updates the fixed cost's noise no longer hides the cost per
    # update; a cost per update that grew with the count would show here.
    per_update = {n: (times[n] - times[1]) / (n - 1) for n in (100, 1000)}
    ratio = per_update[1000] / per_update[100] if per_update[100] > 0 else float("inf")
    print("growth: time per bundled update at 1000 against 100: %.2f (goal flat, <= 1.5: %s)"
          % (ratio, "met" if ratio <= 1.5 else "NOT met"))


def no_op_drive(drive):
    """A drive C whose offline scan package holds no update: the job has
    nothing to do and reports success."""
    write(os.path.join(drive, "C", "ORV", "PatchDeploy", "wsusscn2.cab"), '{"updates": []}')


# The spool's cost on a job may be at most this much of what its minimal
# durable protocol costs: the same file operations in a bare loop.
SPOOL_GOAL = 1.25
# The kinds of line in the worker's file-operation journal (see
# src/platform/linux/file_journal.h) that the bare loop repeats.
LOOP_KINDS = ("create", "write", "flush", "flushdir", "rename", "delete", "truncate")


def journaled_operations(argv, env, journal, folder):
    """Runs one job with the file-operation journal on: the count of each
    kind of operation that changed the disk in folder, and the bytes
    written there."""
    if os.path.exists(journal):
        os.remove(journal)
    measure(argv, dict(env, WORKER_FILE_OPS_JOURNAL=journal))
    counts = collections.Counter()
    if os.path.exists(journal):
        with open(journal) as lines:
            for line in lines:
                fields = line.split()
                if fields[1] != folder and not fields[1].startswith(folder + os.sep):
                    continue
                counts[fields[0]] += 1
                if fields[0] == "write":
                    counts["bytes"] += len(fields[3]) // 2
    return counts


def spool_cost(worker, runs, workdir):
    """The spool's cost on the no-op job (its time with the spool usable
    less its time with a file standing where the spool folder goes, as the
    benchmark runs as root, whom folder rights do not stop) against a bare
    loop of the same file operations in the same folder (spool_file_ops),
    run in turn with the jobs. What the spool does to the disk is counted
    from the worker's own file-operation journal of one job, not assumed:
    everything the spool adds beyond those operations (its lock, its
    listings, its checks) is what the ratio shows."""
    drives = {"spool": os.path.join(workdir, "spool"), "unusable": os.path.join(workdir, "unusable")}
    for drive in drives.values():
        no_op_drive(drive)
    write(os.path.join(drives["unusable"], "C", "ORV", "PatchDeploy", "Reports"), "")
    envs = {name: dict(os.environ, WORKER_SLEEP_SCALE="0", WORKER_DRIVE_ROOT=drive) for name, drive in drives.items()}
    folder = os.path.join(drives["spool"], "C", "ORV", "PatchDeploy", "Reports")
    file_ops = os.path.join(os.path.dirname(MEASURER), "spool_file_ops")
    times = {name: [] for name in list(drives) + ["bare loop"]}
    with StatusServer() as server:
        argv = [worker] + job_args(server.port)
        # The first job makes the spool folder and its lock file; the one
        # journaled after it is a job like every other.
        for env in envs.values():
            measure(argv, env)
        journal = os.path.join(workdir, "file-ops.journal")
        counts = journaled_operations(argv, envs["spool"], journal, folder) - \
            journaled_operations(argv, envs["unusable"], journal, folder)
        if not counts["create"]:
            raise RuntimeError("the job wrote no record to its spool")
        others = sorted(set(counts) - set(LOOP_KINDS) - {"bytes"})
        if others:
            raise RuntimeError("the spool's job did %s, which the bare loop does not repeat" % ", ".join(others))
        loop_argv = [file_ops, folder, "1"] + ["%s=%d" % (kind, counts[kind]) for kind in LOOP_KINDS + ("bytes",)]
        steps = [(name, lambda env=env: measure(argv, env)[0]) for name, env in envs.items()]
        steps.append(("bare loop",
                      lambda: int(subprocess.run(loop_argv, stdout=subprocess.PIPE, check=True).stdout) / 1e9))
        for run in range(runs):
            # Each in turn comes first: what one leaves for the disk to write
            # weighs on whichever follows it.
            for name, step in steps[run % 3:] + steps[:run % 3]:
                times[name].append(step())
        if len(server.requests) != 2 * runs + 4:
            raise RuntimeError("a report was lost")
    if spool_files(folder):
        raise RuntimeError("the spool kept an acknowledged report, or the bare loop a file")
    median = {name: statistics.median(values) for name, values in times.items()}
    # Each round's cost against that round's loop: the disk's flush latency,
    # which other writers on the machine make vary from one second to the
    # next, weighs alike on both.
    ratio = statistics.median((spool - unusable) / loop
                              for spool, unusable, loop in zip(times["spool"], times["unusable"], times["bare loop"]))
    print("spool: %d flushes per job (%d file, %d folder); per job %s, %d bytes written"
          % (counts["flush"] + counts["flushdir"], counts["flush"], counts["flushdir"],
             ", ".join("%d %s" % (counts[kind], kind) for kind in LOOP_KINDS), counts["bytes"]))
    print("spool: no-op job %.2f ms with the spool, %.2f ms with it unusable; the same file operations in a bare "
          "loop %.2f ms (medians of %d rounds)"
          % (median["spool"] * 1000, median["unusable"] * 1000, median["bare loop"] * 1000, runs))
    print("spool: cost against its minimal durable protocol %.2f, the median of the rounds' (goal <= %.2f: %s)"
          % (ratio, SPOOL_GOAL, verdict(ratio, SPOOL_GOAL)))


HUGE = 512 << 20
# The attempt's time limit in the drip runs, through the Linux build's seam.
DRIP_LIMIT = 2


def run_against(worker, replies, tls=False, env=None):
    """Time and peak memory of one com-fails job reported to a server that
    answers with replies; checks the five attempts were made."""
    with StatusServer(replies, tls=tls) as server:
        argv = [worker] + job_args(server.port, transport="1" if tls else "0")
        result = measure(argv, dict(os.environ, WORKER_SLEEP_SCALE="0", **COM_FAILS, **(env or {})))
        if len(server.requests) != (5 if replies else 1):
            raise RuntimeError("%d report attempts instead of 5" % len(server.requests))
    return result


def hostile(worker, runs):
    """Peak memory against 512 MiB replies and an attempt's time against a
    dripping server, both beside the same job acknowledged at once."""
    base_time = statistics.median(run_against(worker, [])[0] for _ in range(runs))
    base_rss = statistics.median(run_against(worker, [])[1] for _ in range(runs))
    print("hostile: the job acknowledged at once: %.2f ms, %.1f MiB" % (base_time * 1000, base_rss / 1024))
    for name, head in (("with a length", b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % HUGE),
                       ("without a length", b"HTTP/1.1 200 OK\r\n\r\n")):
        replies = [stream(head, HUGE) for _ in range(5)]
        rss = run_against(worker, replies)[1]
        print("peak memory    5 x 512 MiB %-16s %7.1f MiB, %.2f x the acknowledged job (goal below 32 MiB: %s)"
              % (name, rss / 1024, rss / base_rss, "met" if rss < 32 * 1024 else "NOT met"))
    drips = (("http content", False, b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", b"<"),
             ("https content", True, b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", b"<"),
             ("100 Continue", False, b"", b"HTTP/1.1 100 Continue\r\n\r\n"))
    for name, tls, head, unit in drips:
        elapsed = run_against(worker, [drip(head, unit, 0.2) for _ in range(5)], tls,
                              {"WORKER_TRANSFER_TIMEOUT": str(DRIP_LIMIT)})[0]
        ratio = (elapsed - base_time) / (5 * DRIP_LIMIT)
        print("attempt time   dripping %-13s %6.2f s per attempt, %.2f x its %d s limit (goal <= 1.1: %s)"
              % (name, (elapsed - base_time) / 5, ratio, DRIP_LIMIT, "met" if ratio <= 1.1 else "NOT met"))


def folders(worker, runs):
    """Peak memory of a standalone-package job whose job folder is crowded,
    beside the same job with its package alone in the folder; the job's
    world (drive, catalog, stand-in installer) is that of the tests."""
    from test_deploy import STANDALONE_TITLE, UPDATE_ID as STANDALONE_ID, Job, update
    from test_folder_size import ENTRIES, PACKAGE, PEAK_BOUND_KIB, crowd
    peaks = {}
    with contextlib.ExitStack() as cleanups:
        owner = types.SimpleNamespace(addCleanup=cleanups.callback)
        for name, entries in (("alone", 0), ("crowded", ENTRIES)):
            job = Job(owner)
            job.scan_package([update(title=STANDALONE_TITLE)])
            job.job_file(PACKAGE)
            crowd(job.job_folder, "part%06d.cab", entries)
            env = dict(os.environ, WORKER_SLEEP_SCALE="0", WUSA_EXIT_CODE="0", **job.env)
            with StatusServer() as server:
                argv = [worker] + job_args(server.port, update_id=STANDALONE_ID)
                peaks[name] = statistics.median(measure(argv, env)[1] for _ in range(runs))
            reports = [request.report() for request in server.requests]
            if [(report["nStatus"], report["nRebootRequired"]) for report in reports] != [("6", "1")] * runs:
                raise RuntimeError("the %s job did not install its package: %r" % (name, reports))
    print("peak memory    job folder with %d entries %7.1f MiB, with its package alone %7.1f MiB "
          "(goal below %d MiB: %s)" % (ENTRIES, peaks["crowded"] / 1024, peaks["alone"] / 1024, PEAK_BOUND_KIB // 1024,
                                        "met" if peaks["crowded"] < PEAK_BOUND_KIB else "NOT met"))


# An HTTPS job with nothing to do may spend at most this share of the
# instructions of the least exchange a plain OpenSSL program makes.
INSTRUCTIONS_GOAL = 0.9


def instruction_count(argv, env):
    """The instructions that one run of argv executes (callgrind's total Ir,
    the program's own and its libraries', the dynamic loader's included)."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "callgrind.out")
        subprocess.run([shutil.which("valgrind"), "--tool=callgrind", "--callgrind-out-file=" + out] + argv,
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        with open(out) as profile:
            for line in profile:
                if line.startswith(("summary:", "totals:")):
                    return int(line.split()[1])
    raise RuntimeError("callgrind wrote no total for %s" % argv[0])


def instructions(worker, runs, workdir):
    """Instructions of the HTTPS job with nothing to do (no trust file)
    against tls_exchange, which sends the same request bytes to the same
    loopback TLS server with OpenSSL's default initialisation; the medians
    of runs each, taken in turn."""
    valgrind = shutil.which("valgrind")
    if not valgrind:
        print("instructions: not measured (no valgrind; scripts/setup installs it)")
        return
    drive = os.path.join(workdir, "drive")
    no_op_drive(drive)
    env = dict(os.environ, WORKER_SLEEP_SCALE="0", WORKER_DRIVE_ROOT=drive)
    with StatusServer(tls=True) as server:
        worker_argv = [worker] + job_args(server.port, transport="1")
        measure(worker_argv, env)  # its request is what the client sends
        if len(server.requests) != 1 or server.requests[0].report()["nStatus"] != "6":
            raise RuntimeError("the worker's report did not arrive")
        request_file = os.path.join(workdir, "request.bin")
        write(request_file, server.requests[0].head + b"\r\n\r\n" + server.requests[0].body)
        client_argv = [os.path.join(os.path.dirname(MEASURER), "tls_exchange"), str(server.port), request_file]
        measure(client_argv, env)
        if (server.requests[1].head, server.requests[1].body) != (server.requests[0].head, server.requests[0].body):
            raise RuntimeError("the client did not send the worker's request")
        counts = {"worker": [], "client": []}
        for _ in range(runs):
            counts["worker"].append(instruction_count(worker_argv, env))
            counts["client"].append(instruction_count(client_argv, env))
        if len(server.requests) != 2 * runs + 2:
            raise RuntimeError("a report was lost")
    worker_ir, client_ir = statistics.median(counts["worker"]), statistics.median(counts["client"])
    print("instructions   https       worker %7.2f M  plain OpenSSL client %7.2f M  worker/client %.2f  "
          "(goal <= %.1f: %s)" % (worker_ir / 1e6, client_ir / 1e6, worker_ir / client_ir, INSTRUCTIONS_GOAL,
                                  verdict(worker_ir / client_ir, INSTRUCTIONS_GOAL)))


def spool_names(worker, runs):
    """Time and peak memory of jobs whose spool folder holds 150,000 records
    of other jobs (writable, then read-only, which no job can remove), each
    job after the first going on where the one before stopped, beside the
    same job with an empty spool."""
    from test_spool import Drive
    names = 150000
    goal_seconds, goal_kib = 30, 32 * 1024
    with contextlib.ExitStack() as cleanups:
        owner = types.SimpleNamespace(addCleanup=cleanups.callback)
        drive = Drive(owner)
        # The record of a job the server refused is the template.
        template = drive.leave_record("1")
        os.remove(drive.record_path("1"))
        env = dict(os.environ, WORKER_SLEEP_SCALE="0", **drive.env, **COM_FAILS)
        with StatusServer() as server:
            empty = [measure([worker] + drive.args(server.port, "2"), env) for _ in range(runs)]
        print("spool names: the job with an empty spool: %.2f s, %.1f MiB"
              % (median(empty, 0), median(empty, 1) / 1024))
        for read_only in (False, True):
            for i in range(names):
                job = str(100000 + i)
                path = os.path.join(drive.reports, job + ".xml")
                with open(path, "w") as f:
                    f.write(template.replace("<nJobID>1</nJobID>", "<nJobID>%s</nJobID>" % job))
                os.utime(path, (1796000000 + i,) * 2)
                if read_only:
                    os.chmod(path, 0o444)
            for run in range(runs):
                with StatusServer() as server:
                    elapsed, kib = measure([worker] + drive.args(server.port, str(3 + run)), env)
                print("spool names: %d %s records, job %d: %.2f s, %.1f MiB, %.2f x the empty spool's peak "
                      "(goal within %d s and below %d MiB: %s)"
                      % (names, "read-only" if read_only else "writable", run + 1, elapsed, kib / 1024,
                         kib / median(empty, 1), goal_seconds, goal_kib // 1024,
                         "met" if elapsed <= goal_seconds and kib < goal_kib else "NOT met"))
            for name in os.listdir(drive.reports):
                path = os.path.join(drive.reports, name)
                os.chmod(path, 0o644)
                os.remove(path)


def median(runs, index):
    return statistics.median(run[index] for run in runs)


def verdict(ratio, goal=1.0):
    return "met" if ratio <= goal else "NOT met"


# The job log's cost on a job: its time with the log at most this much of
# its time with the log unusable.
LOG_GOAL = 1.03


def log_cost(worker, runs, workdir):
    """The no-op job with its log against the same job with a file standing
    where the Logs folder goes, in turn, over HTTP. The log grows by one
    job's lines each round, as on a machine."""
    drives = {"log": os.path.join(workdir, "log"), "unusable": os.path.join(workdir, "no-log")}
    for drive in drives.values():
        no_op_drive(drive)
    write(os.path.join(drives["unusable"], "C", "ORV", "PatchDeploy", "Logs"), "")
    envs = {name: dict(os.environ, WORKER_SLEEP_SCALE="0", WORKER_DRIVE_ROOT=drive) for name, drive in drives.items()}
    times = {name: [] for name in drives}
    with StatusServer() as server:
        argv = [worker] + job_args(server.port)
        for env in envs.values():
            measure(argv, env)
        for run in range(runs):
            for name in (list(drives) if run % 2 else list(drives)[::-1]):
                times[name].append(measure(argv, envs[name])[0])
    log = os.path.join(drives["log"], "C", "ORV", "PatchDeploy", "Logs", "PatchWorker.log")
    if not os.path.exists(log) or os.path.exists(os.path.join(drives["unusable"], "C", "ORV", "PatchDeploy", "Logs",
                                                              "PatchWorker.log")):
        raise RuntimeError("the log was not written, or written where it cannot be")
    median = {name: statistics.median(values) for name, values in times.items()}
    ratio = median["log"] / median["unusable"]
    print("log: no-op job %.2f ms with its log, %.2f ms with the log unusable (medians of %d runs); %d bytes per job"
          % (median["log"] * 1000, median["unusable"] * 1000, runs, os.path.getsize(log) // (runs + 1)))
    print("log: with the log against without %.3f (goal <= %.2f: %s)" % (ratio, LOG_GOAL, verdict(ratio, LOG_GOAL)))


# The job with nothing to do, reported over HTTP or over HTTPS with the
# trust file, is held to half of curl's time; every other row to curl's time.
def time_goal(job, transport):
    return 0.5 if job == "not-in-catalog" and transport in ("http", "https+trust") else 1.0


def main():
    global MEASURER
    MEASURER = os.path.abspath(sys.argv[1])
    worker = os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    job = sys.argv[4] if len(sys.argv) > 4 else "com-fails"
    if job == "com-fails":
        job_env = dict(COM_FAILS)
    else:
        job_env = {}
    # The drives are made in the build directory, not in the system's
    # temporary folder. A spool lives in the agent's install folder, which
    # other programs leave alone; the temporary folder is where a test run
    # has just deleted thousands of files. On ext4 without a journal, making
    # a file passes over every inode freed nearby in the last minutes: right
    # after the tests, the spool's file operations cost six to seven times
    # as much there as in the build directory. The growth job's thousands of
    # files are made and deleted in the temporary folder, away from them.
    drives_dir = None if job == "growth" else os.path.dirname(MEASURER)
    with tempfile.TemporaryDirectory(dir=drives_dir, prefix="drives.") as workdir:
        # The rows that are not a job against curl, each its own measurement.
        rows_of_their_own = {
            "growth": lambda: growth(worker, runs, workdir),
            "spool": lambda: spool_cost(worker, runs, workdir),
            "log": lambda: log_cost(worker, runs, workdir),
            "hostile": lambda: hostile(worker, runs),
            "folders": lambda: folders(worker, runs),
            "instructions": lambda: instructions(worker, runs, workdir),
            "spool-names": lambda: spool_names(worker, runs),
        }
        if job in rows_of_their_own:
            rows_of_their_own[job]()
            return
        if job == "not-in-catalog":
            drive = os.path.join(workdir, "drive")
            no_op_drive(drive)
            job_env["WORKER_DRIVE_ROOT"] = drive
        print("job: %s, %d runs each, median" % (job, runs))
        trust = Trust(workdir, job_env)
        rows = (("http", False, None), ("https", True, None), ("https+trust", True, trust))
        for name, tls, row_trust in rows:
            worker_runs, curl_runs = bench(worker, runs, tls, job_env, workdir, row_trust)
            wt, ct = median(worker_runs, 0), median(curl_runs, 0)
            wm, cm = median(worker_runs, 1), median(curl_runs, 1)
            goal = time_goal(job, name)
            print("per-job time   %-11s worker %7.2f ms  curl %7.2f ms  worker/curl %.2f  (goal <= %.1f: %s)"
                  % (name, wt * 1000, ct * 1000, wt / ct, goal, verdict(wt / ct, goal)))
            print("peak memory    %-11s worker %7.1f MiB curl %7.1f MiB worker/curl %.2f  (goal <= 1.0: %s)"
                  % (name, wm / 1024, cm / 1024, wm / cm, verdict(wm / cm)))


if __name__ == "__main__":
    main()
