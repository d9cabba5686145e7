"""The reboot-reminder mode end to end: the built worker starts a stand-in
tray program in the session of a user logged on according to a login-records
file, or, without a user's token, in its own session. The stand-in writes its
uid, argv and environment to a file, which the tests read. They need root, as
the worker does to start a program as another user; a throwaway user is
created for them and removed afterwards.

The tray program runs on after the worker has ended. The test process takes
on every process that a worker leaves behind (it is their subreaper), so a
test waits for their end and then knows whether the tray program ran: it
writes its record before anything else."""

import ctypes
import os
import pwd
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

from harness import NO_PARTNER_LIMIT, WORKER, decode_console, open_for_writing, run_worker, run_worker_to_exit

TEST_USER = "orvremindtest"
USER_PROCESS = 7
DEAD_PROCESS = 8
MARKER = "WORKER_OWN_ENVIRONMENT"
TRAY_ARGS = ["D", "1", "2", "3", "4", "5", "6", "abc"]
COMMAND_LINE = '"D:\\ORV\\PatchTray\\VeltraneORVTray.exe" 1 2 3 4 5 6 "abc"'

START = "LaunchRebootReminder:  START\n"
ENTRY = "LaunchProcessAsUser:: entry with the path:: %s\n"
USER_START = "LaunchProcessAsUser:: CreateProcessAsUser Success\n"
NO_TOKEN = "LaunchProcessAsUser:: Getting the current user tocken failed\n"
QUERY_FAILED = "GetCurrentUserToken:: WTSQueryUserToken failed. Error Code :: %d\n"
FALLBACK_START = "LaunchProcessAsUser:: CreateProcess success with out sessionid\n"
SUCCESS = "Patch Tray Excecution Success\n"

# The stand-in records, NUL-separated: its pid, uid, gid, argument count,
# argv and environment; then it ends, or stays as the same process until a
# line arrives through a named pipe.
TRAY_PROGRAM = """#!/bin/sh
{
    printf '%%s\\0' "$$" "$(id -u)" "$(id -g)" "$#" "$0" "$@"
    env -0
} > '%(out)s.tmp' && mv '%(out)s.tmp' '%(out)s'
%(stay)s
"""

PR_SET_CHILD_SUBREAPER = 36

_created_user = False


def set_subreaper(on):
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, int(on), 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def wait_for_left_processes():
    """Waits until every process that the workers left behind has ended."""
    while True:
        try:
            os.waitpid(-1, 0)
        except ChildProcessError:
            return


def setUpModule():
    global _created_user
    if os.geteuid() != 0:
        raise unittest.SkipTest("starting a program as another user needs root")
    try:
        pwd.getpwnam(TEST_USER)
    except KeyError:
        subprocess.run(["useradd", "--create-home", "--shell", "/bin/sh", TEST_USER], check=True)
        _created_user = True
    set_subreaper(True)


def tearDownModule():
    set_subreaper(False)
    if _created_user:
        subprocess.run(["userdel", "--remove", TEST_USER], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def console(*lines):
    """What the worker writes: UTF-16LE, every line end as CR LF."""
    return "".join(lines).replace("\n", "\r\n").encode("utf-16-le")


def login_record(kind, pid, line, user, host=""):
    """One utmpx record as glibc lays it out on x86-64 (384 bytes)."""
    return struct.pack("<h2xi32s4s32s256shhiii16s20s", kind, pid, line.encode(), b"", user.encode(),
                       host.encode(), 0, 0, 0, int(time.time()), 0, b"", b"")


def ended_pid():
    """The id of a process that has ended, as a stale login record holds it."""
    child = subprocess.Popen(["true"])
    child.wait(NO_PARTNER_LIMIT)
    return child.pid


class ReminderTest(unittest.TestCase):
    def setUp(self):
        self.user = pwd.getpwnam(TEST_USER)
        self.root = tempfile.mkdtemp(prefix="reminder-")
        os.chmod(self.root, 0o755)
        self.tray_dir = os.path.join(self.root, "D", "ORV", "PatchTray")
        os.makedirs(self.tray_dir, mode=0o755)
        self.out_dir = os.path.join(self.root, "out")
        os.makedirs(self.out_dir)
        os.chmod(self.out_dir, 0o777)
        self.record_path = os.path.join(self.out_dir, "tray.json")
        self.utmp = os.path.join(self.root, "utmp")
        self.write_sessions([])
        self.hold = None

    def tearDown(self):
        if self.hold:
            # A held stand-in ends at the end of its input.
            os.close(self.hold_writer if self.hold_writer is not None else open_for_writing(self.hold))
        wait_for_left_processes()
        shutil.rmtree(self.root, ignore_errors=True)

    def install_tray(self, hold=False):
        """The stand-in records itself and ends, or with hold stays until its
        input through a named pipe ends."""
        path = os.path.join(self.tray_dir, "VeltraneORVTray.exe")
        stay = "exit 0"
        if hold:
            self.hold = os.path.join(self.out_dir, "hold")
            self.hold_writer = None
            os.mkfifo(self.hold, 0o666)
            stay = "read line < '%s'" % self.hold
        with open(path, "w") as f:
            f.write(TRAY_PROGRAM % {"out": self.record_path, "stay": stay})
        os.chmod(path, 0o755)

    def write_sessions(self, records):
        with open(self.utmp, "wb") as f:
            f.write(b"".join(records))
        os.chmod(self.utmp, 0o644)

    def active(self, user, host=""):
        return login_record(USER_PROCESS, os.getpid(), "pts/9", user, host)

    def env(self):
        return {"WORKER_DRIVE_ROOT": self.root, "WORKER_UTMP_FILE": self.utmp, MARKER: "1"}

    def run_reminder(self, args=TRAY_ARGS):
        return run_worker(args, env=self.env())

    def tray_record(self):
        """What the tray program recorded. A held stand-in has written its
        record once it opens the named pipe; any other has once it has
        ended."""
        if self.hold:
            self.hold_writer = open_for_writing(self.hold)
        else:
            wait_for_left_processes()
        self.assertTrue(os.path.exists(self.record_path), "the tray program did not run")
        with open(self.record_path, "rb") as f:
            fields = f.read().decode().split("\0")
        argc = int(fields[3])
        env = dict(entry.split("=", 1) for entry in fields[5 + argc:] if entry)
        return {"pid": int(fields[0]), "uid": int(fields[1]), "gid": int(fields[2]),
                "argv": fields[4:5 + argc], "env": env}

    def assert_not_started(self):
        wait_for_left_processes()
        self.assertFalse(os.path.exists(self.record_path), "the tray program was started")

    def test_starts_tray_as_the_session_user_with_their_environment(self):
        # The tray program stays; the worker's console must still end with
        # the worker, or its parent would wait for the tray program.
        self.install_tray(hold=True)
        self.write_sessions([self.active(TEST_USER, ":0")])
        run, ended = run_worker_to_exit(TRAY_ARGS, env=self.env())
        self.assertEqual(run.raw, console(START, ENTRY % COMMAND_LINE, USER_START, SUCCESS))
        self.assertEqual(run.returncode, 0)
        self.assertTrue(ended, "the worker's output stays open while the tray program runs")
        record = self.tray_record()
        self.assertEqual((record["uid"], record["gid"]), (self.user.pw_uid, self.user.pw_gid))
        self.assertEqual(record["argv"][1:], ["1", "2", "3", "4", "5", "6", "abc"])
        self.assertTrue(record["argv"][0].endswith("/D/ORV/PatchTray/VeltraneORVTray.exe"))
        env = record["env"]
        self.assertEqual(env["HOME"], self.user.pw_dir)
        self.assertEqual((env["USER"], env["LOGNAME"]), (TEST_USER, TEST_USER))
        self.assertEqual(env["SHELL"], self.user.pw_shell)
        self.assertEqual(env["DISPLAY"], ":0")
        self.assertIn("/usr/bin", env["PATH"].split(":"))
        self.assertNotIn(MARKER, env, "the user's program got the worker's environment")
        self.assertNotIn("WORKER_EXIT_CODE_FD", env)
        # No pipe of the worker's (its output, the exit-code descriptor).
        pipes = []
        for fd in os.listdir("/proc/%d/fd" % record["pid"]):
            try:
                pipes += [os.readlink("/proc/%d/fd/%s" % (record["pid"], fd))]
            except OSError:  # the shell closed it meanwhile
                pass
        self.assertEqual([target for target in pipes if target.startswith("pipe:")], [])

    def test_first_active_session_is_used(self):
        self.install_tray()
        self.write_sessions([
            login_record(DEAD_PROCESS, 0, "pts/1", ""),
            login_record(USER_PROCESS, ended_pid(), "pts/2", "root", ":5"),
            self.active(TEST_USER, ":1"),
            self.active("root", ":0"),
        ])
        run = self.run_reminder()
        self.assertEqual(run.raw, console(START, ENTRY % COMMAND_LINE, USER_START, SUCCESS))
        record = self.tray_record()
        self.assertEqual(record["uid"], self.user.pw_uid)
        self.assertEqual(record["env"]["DISPLAY"], ":1")

    def test_without_an_active_session_the_worker_starts_tray_itself(self):
        # The tray program stays, started without the worker's handles: the
        # worker's output ends when the worker exits.
        self.install_tray(hold=True)
        self.write_sessions([
            login_record(DEAD_PROCESS, 0, "pts/1", ""),
            login_record(USER_PROCESS, ended_pid(), "pts/2", TEST_USER, ":0"),
        ])
        run, ended = run_worker_to_exit(TRAY_ARGS, env=self.env())
        self.assertEqual(run.raw, console(START, ENTRY % COMMAND_LINE, QUERY_FAILED % 1008, NO_TOKEN,
                                          FALLBACK_START, SUCCESS))
        self.assertTrue(ended, "the worker's output stays open while the tray program runs")
        record = self.tray_record()
        self.assertEqual(record["uid"], 0)
        self.assertEqual(record["argv"][1:], ["1", "2", "3", "4", "5", "6", "abc"])
        self.assertEqual(record["env"].get(MARKER), "1", "the fallback keeps the worker's environment")

    def test_missing_tray_program(self):
        with self.subTest("user logged on: no fallback after the failed start"):
            self.write_sessions([self.active(TEST_USER, ":0")])
            run = self.run_reminder()
            self.assertEqual(run.raw, console(
                START, ENTRY % COMMAND_LINE, "LaunchProcessAsUser:: CreateProcessAsUser failed . Error code -- 0, 2\n",
                "Patch Tray Execution Failed. ReturnValue:-1, ErrorCode:2"))
            self.assertEqual(run.returncode, 0)
        with self.subTest("no session: the fallback's error is the result"):
            self.write_sessions([])
            run = self.run_reminder()
            self.assertEqual(run.raw, console(
                START, ENTRY % COMMAND_LINE, QUERY_FAILED % 1008, NO_TOKEN,
                "LaunchProcessAsUser:: CreateProcess Failed with the error code:: 2\n",
                "Patch Tray Execution Failed. ReturnValue:2, ErrorCode:2"))
            self.assertEqual(run.returncode, 0)

    def test_reminder_setting(self):
        self.install_tray()
        self.write_sessions([self.active(TEST_USER)])
        for setting in ["0", "no", ""]:
            with self.subTest(setting=setting):
                run = self.run_reminder(["D", setting, "2", "3", "4", "5", "6", "abc"])
                self.assertEqual(run.raw, console(START, "LaunchRebootReminder:  Reboot disabled\n"))
                self.assertEqual(run.returncode, 0)
        self.assert_not_started()
        # Digits as the Windows C runtime reads them, full-width ones included.
        for setting, passed in [("-1", "-1"), ("007", "7"), (" 12x", "12"), ("\uff10\uff11", "1")]:
            with self.subTest(setting=setting):
                run = self.run_reminder(["D", setting, "x", "3", "4", "5", "-06", "two words"])
                command = '"D:\\ORV\\PatchTray\\VeltraneORVTray.exe" %s 0 3 4 5 -6 "two words"' % passed
                self.assertEqual(run.raw, console(START, ENTRY % command, USER_START, SUCCESS))
                self.assertEqual(self.tray_record()["argv"][1:], [passed, "0", "3", "4", "5", "-6", "two words"])
                os.remove(self.record_path)

    def test_drive_that_is_not_a_letter_starts_nothing(self):
        self.install_tray()
        # A program where the first drive would lead if it were used as given.
        evil = os.path.join(self.root, "D", "evil")
        os.makedirs(evil)
        shutil.copy(os.path.join(self.tray_dir, "VeltraneORVTray.exe"), os.path.join(evil, "run.sh"))
        for sessions in ([self.active(TEST_USER)], []):
            self.write_sessions(sessions)
            for drive in ('D:\\evil\\run.sh" "', "", "DD", "1", "D:", "\u00c4"):
                with self.subTest(drive=drive, sessions=len(sessions)):
                    run = self.run_reminder([drive] + TRAY_ARGS[1:])
                    self.assertEqual(run.raw, console(START, "Patch Tray Execution Failed. ReturnValue:-1, ErrorCode:87"))
        self.assert_not_started()

    def test_text_reaches_the_tray_program_as_one_argument(self):
        self.install_tray()
        self.write_sessions([self.active(TEST_USER)])
        for text in ('abc" --uninstall "x', "C:\\dir\\", 'a\\"b\\\\"', '"', ""):
            with self.subTest(text=text):
                self.run_reminder(["d", "1", "2", "3", "4", "5", "6", text])
                record = self.tray_record()
                self.assertTrue(record["argv"][0].endswith("/D/ORV/PatchTray/VeltraneORVTray.exe"))
                self.assertEqual(record["argv"][1:], ["1", "2", "3", "4", "5", "6", text])
                os.remove(self.record_path)

    def test_unprivileged_worker_cannot_take_the_users_token(self):
        self.install_tray()
        self.write_sessions([self.active(TEST_USER, ":0")])
        env = dict(os.environ, WORKER_SLEEP_SCALE="0", **self.env())
        proc = subprocess.run(["setpriv", "--reuid=%d" % self.user.pw_uid, "--regid=%d" % self.user.pw_gid,
                               "--clear-groups", WORKER] + TRAY_ARGS,
                              stdout=subprocess.PIPE, env=env, timeout=120, stdin=subprocess.DEVNULL, cwd="/")
        self.assertEqual(decode_console(proc.stdout), (START + ENTRY % COMMAND_LINE + QUERY_FAILED % 1314 + NO_TOKEN
                                                       + FALLBACK_START + SUCCESS).replace("\n", "\r\n"))
        record = self.tray_record()
        self.assertEqual(record["uid"], self.user.pw_uid)
        self.assertEqual(record["env"].get(MARKER), "1")


if __name__ == "__main__":
    unittest.main()
