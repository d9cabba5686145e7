"""Running the Windows build under Wine for the end-to-end tests.

One Wine prefix inside the Windows build tree serves every test: created with
`wineboot -i` when missing, its wineserver kept running for the whole suite
and stopped with `wineserver -k` at the end. The simulated update agent's COM
server (wua_sim_server.dll) is registered in it with regsvr32, under
HKLM\\Software\\Classes\\CLSID, where Wine's CoCreateInstance finds it. A job's
files live in a temporary folder that the prefix shows as drive W: (a
dosdevices symlink, re-pointed for each job). Console output, the loopback
status server and the decoding of the UTF-16 console come from the Linux
suite's harness."""

import contextlib
import ctypes
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from harness import NO_PARTNER_LIMIT, WorkerRun, decode_console, holding  # noqa: E402

BUILD = os.path.abspath(os.environ.get("WORKER_WINDOWS_BUILD_DIR", os.path.join(HERE, "..", "..", "build-windows")))
PREFIX = os.path.join(BUILD, "wine-prefix")
WORKER = os.path.join(BUILD, "src", "patch_worker.exe")
LOOKUP = os.path.join(BUILD, "src", "errorcode_lookup.exe")
SIM_SERVER = os.path.join(BUILD, "src", "wua_sim_server.dll")
STANDINS = os.path.join(BUILD, "tests", "standins", "win")
HOLD_FILE = os.path.join(STANDINS, "hold_file.exe")
DRIVE = "W"
# The prefix's system folder, C:\windows\system32, where the worker starts
# cmd.exe and wusa.exe from and loads its libraries from. Wine's own file is
# kept aside in the build folder while a test puts a stand-in in its place or
# takes it away.
SYSTEM32 = os.path.join(PREFIX, "drive_c", "windows", "system32")
SYSTEM_PROGRAMS = ("cmd.exe", "wusa.exe", "wtsapi32.dll")
# The stand-in Terminal Services library of a machine where nobody is logged
# on.
NO_USER_WTSAPI32 = os.path.join(STANDINS, "no-user", "wtsapi32.dll")

CLSID_UPDATE_SESSION = "{4CB43D7F-7EEE-4906-8698-60DA1C38F2FE}"

# The report attempt's limit, in seconds, that tests of a server that never
# ends its reply give the worker (WORKER_TRANSFER_TIMEOUT), scaled down from
# the product's two minutes; the worker's environment for it.
TRANSFER_LIMIT = 5
SHORT_TRANSFER_LIMIT = {"WORKER_TRANSFER_TIMEOUT": str(TRANSFER_LIMIT)}


def wine_tool(name):
    """Debian installs the 64-bit loader and server in Wine's library folder;
    the `wine` wrapper on PATH insists on the 32-bit part as well."""
    for candidate in (os.path.join("/usr/lib/wine", name), shutil.which(name)):
        if candidate and os.path.exists(candidate):
            return candidate
    raise RuntimeError("%s not found: install Debian's wine64 and wine64-preloader packages (scripts/setup)" % name)


# Programs of the system folder that Wine loads from their files there rather
# than from its built-in ones: the stand-ins that standin_installer() puts in
# place.
_native_programs = []


def wine_environment(extra=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": PREFIX,
        "WINEDEBUG": "-all",
        # No Mono or Gecko installer prompts while the prefix is made.
        "WINEDLLOVERRIDES": ";".join(["mscoree,mshtml="] + [name + "=n" for name in _native_programs]),
    })
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    if extra:
        env.update(extra)
    return env


def windows_path(unix_path):
    """A path of this machine as Wine's drive Z: (the file system root) shows it."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def _run(command, env=None, cwd=None, timeout=120):
    """Runs a command and returns (exit code, standard output). Wine's own
    background processes (winedevice.exe and the like), when a command starts
    them, inherit its output pipe and keep it open: the output is read until
    the command itself has ended, not until the pipe's end."""
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                            env=wine_environment(env), cwd=cwd)
    fd = proc.stdout.fileno()
    os.set_blocking(fd, False)
    out = bytearray()
    # Readable once the command has ended: its end is waited for as an event,
    # next to its output.
    ended = os.pidfd_open(proc.pid)
    deadline = time.monotonic() + timeout
    try:
        while True:
            readable, _, _ = select.select([fd, ended], [], [], max(0, deadline - time.monotonic()))
            if not readable:
                proc.kill()
                proc.wait()
                raise subprocess.TimeoutExpired(command, timeout, bytes(out))
            if fd not in readable:
                break  # the command has ended and the pipe holds nothing more of it
            chunk = os.read(fd, 65536)
            if not chunk:
                break  # every holder of the pipe has closed it
            out += chunk
    finally:
        os.close(ended)
        proc.stdout.close()
    return proc.wait(), bytes(out)


def _wine(args, timeout=120, check=True, env=None, cwd=None):
    command = [wine_tool("wine64")] + list(args)
    code, out = _run(command, env=env, cwd=cwd, timeout=timeout)
    if check and code != 0:
        raise subprocess.CalledProcessError(code, command, out)
    return code, out


def start_wine():
    """Makes the prefix when missing, starts a persistent wineserver and
    registers the simulated update agent. Safe to call more than once."""
    # Without its preloader Wine fails to start a program now and then
    # (status 1, nothing printed): the heap can take the addresses it needs.
    wine_tool("wine64-preloader")
    for built in (WORKER, LOOKUP, SIM_SERVER, os.path.join(STANDINS, "wusa.exe")):
        if not os.path.exists(built):
            raise RuntimeError("%s is missing: run scripts/test-wine (it builds the Windows side)" % built)
    # A server that the previous module stopped may still be saving the
    # registry; a new one started meanwhile would lose what is registered.
    _run([wine_tool("wineserver"), "-w"], timeout=60)
    if not os.path.exists(os.path.join(PREFIX, "system.reg")):
        os.makedirs(PREFIX, exist_ok=True)
        _wine(["wineboot", "-i"], timeout=300)
    _run([wine_tool("wineserver"), "-p"], timeout=60)
    restore_wine_programs()
    _wine(["regsvr32", "/s", windows_path(SIM_SERVER)])
    _, query = _wine(["reg", "query", "HKLM\\Software\\Classes\\CLSID\\%s\\InprocServer32" % CLSID_UPDATE_SESSION])
    if "wua_sim_server.dll" not in query.decode("utf-8", "replace").lower():
        raise RuntimeError("the simulated update agent did not register: %r" % query)


def stop_wine():
    """Ends the prefix's wineserver and waits until it has gone."""
    _run([wine_tool("wineserver"), "-k"], timeout=60)
    _run([wine_tool("wineserver"), "-w"], timeout=60)


def _kept(name):
    return os.path.join(BUILD, "wine-" + name)


def _restore_wine_program(name):
    if os.path.exists(_kept(name)):
        os.replace(_kept(name), os.path.join(SYSTEM32, name))


def restore_wine_programs():
    """Puts Wine's own programs back into the system folder where a test put
    a stand-in in their place or took them away (also after a run that was
    interrupted)."""
    for name in SYSTEM_PROGRAMS:
        _restore_wine_program(name)


def _keep_wine_program(name):
    if not os.path.exists(_kept(name)):
        shutil.copy2(os.path.join(SYSTEM32, name), _kept(name))


@contextlib.contextmanager
def standin_in_system_folder(name, standin):
    """The stand-in file in the prefix's system folder as name for the length
    of the block, loaded or run from its file there in place of Wine's
    built-in one; Wine's own comes back after it."""
    _keep_wine_program(name)
    shutil.copy2(standin, os.path.join(SYSTEM32, name))
    _native_programs.append(name)
    try:
        yield
    finally:
        _native_programs.remove(name)
        _restore_wine_program(name)


def standin_installer():
    """The stand-in wusa.exe of this build in the prefix's system folder, where
    the worker starts the installer from, for the length of the block. Wine's
    own cmd.exe stays."""
    return standin_in_system_folder("wusa.exe", os.path.join(STANDINS, "wusa.exe"))


@contextlib.contextmanager
def system_program_missing(name):
    """The prefix's system folder without Wine's program name (cmd.exe or
    wusa.exe) for the length of the block."""
    _keep_wine_program(name)
    os.remove(os.path.join(SYSTEM32, name))
    try:
        yield
    finally:
        _restore_wine_program(name)


def map_drive(folder):
    """Shows folder as drive W: in the prefix."""
    link = os.path.join(PREFIX, "dosdevices", DRIVE.lower() + ":")
    if os.path.islink(link) or os.path.exists(link):
        os.remove(link)
    os.symlink(os.path.abspath(folder), link)


def run_windows(program, args, env=None, cwd=None, timeout=180, wrapper=()):
    """Runs a Windows program of the build under Wine and returns its UTF-16
    console text. wrapper is a command that runs Wine as the rest of its own
    command line (unshare, strace)."""
    code, out = _run(list(wrapper) + [wine_tool("wine64"), program] + list(args), env=env, cwd=cwd or STANDINS,
                     timeout=timeout)
    return WorkerRun(out, decode_console(out), code)


def run_plain(program, args):
    """Runs a Windows program that writes plain bytes (not the UTF-16
    console) and returns its exit code and output."""
    return _wine([program] + list(args), check=False, cwd=STANDINS)


def run_worker(args, env=None, timeout=180):
    """The worker with argv[1:] = args, in the stand-ins' folder. It starts
    the installer from the system folder, where standin_installer() puts the
    stand-in wusa.exe."""
    return run_windows(WORKER, args, env=env, timeout=timeout)


def start_worker(args, env=None, worker=None):
    """The worker (or a copy of it) as a running process whose console can be
    read as it goes."""
    return subprocess.Popen([wine_tool("wine64"), worker or WORKER] + list(args), stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=wine_environment(env),
                            cwd=STANDINS)


def read_until(proc, text, limit=NO_PARTNER_LIMIT):
    """Reads the running worker's UTF-16 console until it holds text; returns
    what was read (less, without text, when the worker ended first or wrote
    nothing for limit seconds: a worker that never comes)."""
    raw = b""
    while select.select([proc.stdout], [], [], limit)[0]:
        chunk = os.read(proc.stdout.fileno(), 4096)
        if not chunk:
            break
        raw += chunk
        if len(raw) % 2 == 0 and text in raw.decode("utf-16-le", "replace"):
            break
    return decode_console(raw[:len(raw) - len(raw) % 2])


def run_until(args, text, env=None, worker=None, limit=NO_PARTNER_LIMIT):
    """Runs the worker until its console holds text (or it has ended), then
    stops it: for runs that go on into one of the worker's real pauses of 10
    or 60 seconds. Returns the console text and whether the worker was still
    running when it was stopped."""
    proc = start_worker(args, env=env, worker=worker)
    try:
        out = read_until(proc, text, limit)
        running = proc.poll() is None
    finally:
        proc.kill()
        proc.wait()
        proc.stdout.close()
    return out, running


@contextlib.contextmanager
def held_file(path, access, share):
    """hold_file.exe holding the file path (as Windows names it) open with
    the given access and share letters for the length of the block, as
    another program (a virus scanner) would; it lets go when its standard
    input ends, and the file is closed once it has exited."""
    if not os.path.exists(HOLD_FILE):
        raise RuntimeError("%s is missing: build the target standin_hold_file" % HOLD_FILE)
    with holding([wine_tool("wine64"), HOLD_FILE, access, share, path], path, env=wine_environment(), cwd=STANDINS):
        yield


IN_MOVED_TO = 0x80
IN_CREATE = 0x100


def wait_for_file(path, limit=NO_PARTNER_LIMIT):
    """Waits until path exists, woken by the kernel (inotify) whenever a name
    is created in or moved into its folder; limit only ends the wait for a
    file that never comes. Returns whether the file is there."""
    libc = ctypes.CDLL(None, use_errno=True)
    watch = libc.inotify_init1(os.O_CLOEXEC)
    if watch < 0:
        raise OSError(ctypes.get_errno(), "inotify_init1")
    try:
        if libc.inotify_add_watch(watch, os.fsencode(os.path.dirname(path)), IN_CREATE | IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch")
        deadline = time.monotonic() + limit
        while not os.path.exists(path):
            if not select.select([watch], [], [], max(0, deadline - time.monotonic()))[0]:
                return False
            os.read(watch, 65536)
        return True
    finally:
        os.close(watch)


def describe(code):
    """The description that the Windows build gives a result code, from its
    errorcode_lookup tool under the same Wine (system texts are Wine's)."""
    _, out = run_plain(LOOKUP, ["0x%X" % (code & 0xFFFFFFFF)])
    return out.decode("utf-8").rstrip("\r\n").split("\t", 1)[1]


def map_drive_with_installed_update(test):
    """Maps a temporary folder as the drive, holding an offline scan package
    whose update is installed already: a job has its report at once, a
    success without a restart."""
    from test_deploy import SCAN_SERVICE_ID, update
    tmp = tempfile.TemporaryDirectory()
    test.addCleanup(tmp.cleanup)
    folder = os.path.join(tmp.name, "ORV", "PatchDeploy")
    os.makedirs(folder)
    with open(os.path.join(folder, "wsusscn2.cab"), "w") as f:
        json.dump({"service_id": SCAN_SERVICE_ID, "updates": [update(installed=True)]}, f)
    map_drive(tmp.name)
    return tmp.name
