"""Shared pieces of the end-to-end tests: running the built worker (and
checking after every run that the simulated update agent, when the worker
used it, has no object left alive), reading its UTF-16 console output, the
error-code table file, and a real loopback status server (HTTP or HTTPS)
that records every request byte for byte and answers as a test tells it."""

import contextlib
import os
import select
import shutil
import socket
import ssl
import subprocess
import tempfile
import threading
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field

import certificates

HERE = os.path.dirname(os.path.abspath(__file__))
BINARY_DIR = os.environ.get("WORKER_BINARY_DIR", os.path.join(HERE, "..", "..", "build"))
WORKER = os.path.join(BINARY_DIR, "src", "patch_worker")
ERROR_CODES_FILE = os.path.join(HERE, "..", "..", "src", "errors", "error_codes.tsv")

# Only a program that never comes makes a test wait this long for it.
NO_PARTNER_LIMIT = 60

# The stand-in programs, and the system folder that the Linux substitute's
# GetSystemDirectoryW gives, where the worker starts cmd.exe and wusa.exe
# from: a drive path, below the drive root like every other.
STANDINS = os.path.normpath(os.path.join(HERE, "..", "standins"))
STANDIN_PROGRAMS = {"cmd.exe": "cmd", "wusa.exe": "wusa.exe"}
SYSTEM_FOLDER = "C:\\Windows\\System32"

# A job that fails before it reaches the update agent: COM start-up is made
# to fail, so the report's content does not depend on any catalog.
COM_FAILS = {"WORKER_COINIT_RESULT": "0x80004005"}
COM_FAILED_LINE = "Failed to initialize COM.\r\n"
SOAP_FAILURE = "Soap failure. "
# Every deployment job locks its byte of this file in the report spool while
# it runs; the file stays there for later jobs.
SPOOL_LOCK_FILE = "jobs.lock"
# How much of a report's description a status server's journal keeps.
JOURNALED_DESCRIPTION = 40


def spool_files(reports):
    """The names in the report spool folder reports, apart from the lock
    file, sorted; none when there is no such folder."""
    names = os.listdir(reports) if os.path.isdir(reports) else []
    return sorted(name for name in names if name != SPOOL_LOCK_FILE)


def reply(status_line, body=b"", length=True):
    """A server reply with the given status line and content, closing the
    connection; length=False leaves the Content-Length header out."""
    head = b"HTTP/1.1 " + status_line + b"\r\n"
    if length:
        head += b"Content-Length: " + str(len(body)).encode() + b"\r\n"
    return head + b"Connection: close\r\n\r\n" + body


ACCEPTED = reply(b"202 Accepted")
HTML_500 = (b"HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: 40\r\n"
            b"Connection: close\r\n\r\n<html><body>Internal error</body></html>")

FAULT_BODY = (b'<?xml version="1.0"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/">'
              b"<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
              b"<faultstring>Job table is locked</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>")

# The most content the worker reads from a reply: a Fault fits, anything
# longer is an HTTP error.
CONTENT_BOUND = 64 * 1024


def fault_reply(text=b"Job table is locked", length=True, padding=0):
    """A 500 reply carrying a SOAP Fault with text as its faultstring, padded
    with blanks after the envelope."""
    body = FAULT_BODY.replace(b"Job table is locked", text) + b" " * padding
    head = b"HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml\r\n"
    if length:
        head += b"Content-Length: %d\r\n" % len(body)
    return head + b"Connection: close\r\n\r\n" + body


def decode_console(raw):
    """The worker's console is UTF-16LE without a byte-order mark."""
    assert len(raw) % 2 == 0, "console output is not whole UTF-16 units"
    return raw.decode("utf-16-le")


@dataclass
class WorkerRun:
    raw: bytes
    text: str
    returncode: int


def build_version(binary_dir=BINARY_DIR):
    """The product's version that the build in binary_dir was configured with."""
    with open(os.path.join(binary_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("CMAKE_PROJECT_VERSION:"):
                return line.rstrip("\n").split("=", 1)[1]
    raise RuntimeError("no project version in %s" % binary_dir)


def error_texts():
    """The error-code table as its data file holds it: code -> text."""
    texts = {}
    with open(ERROR_CODES_FILE, encoding="utf-8", newline="") as data:
        for line in data:
            if line.startswith("0x"):
                code, text = line.rstrip("\n").split("\t", 1)
                texts[int(code, 16)] = text
    return texts


def check_agent_released(journal_lines):
    """The simulated update agent's journal ends, once the worker has used the
    agent, with the line written at the worker's exit: no object left alive.
    A run that the job's time limit ended inside a call that never returns
    (its journal ends with that call's "-> block") holds its objects by
    design."""
    if journal_lines and journal_lines[-1].endswith("-> block"):
        return
    if journal_lines and journal_lines[-1] != "live-objects 0":
        raise AssertionError("the simulated agent's journal does not end with no object alive: %r"
                             % journal_lines[-1])


def under_strace(trace, calls, command):
    """command run under strace, which writes the system calls that calls
    names (its -e trace= list) of the command and its children into trace."""
    return ["strace", "-f", "-qq", "-e", "trace=" + calls, "-o", trace] + list(command)


def traceable(env):
    """env for a program run under strace. LeakSanitizer, which a sanitized
    build runs at the program's exit, cannot work under ptrace and would end
    it with a fatal error: the leak check is left to the runs not traced."""
    if "ASAN_OPTIONS" in env:
        env = dict(env, ASAN_OPTIONS=env["ASAN_OPTIONS"] + ":detect_leaks=0")
    return env


@contextlib.contextmanager
def worker_environment(env=None):
    """The test's environment with env added; WORKER_SLEEP_SCALE defaults to 0
    so no pause is waited. The simulated update agent journals to a file of
    the test's, or to a temporary one, which is checked once the run is
    over."""
    full_env = dict(os.environ)
    full_env.setdefault("WORKER_SLEEP_SCALE", "0")
    if env:
        full_env.update(env)
    with tempfile.TemporaryDirectory() as scratch:
        journal = full_env.setdefault("WUA_SIM_JOURNAL", os.path.join(scratch, "journal.log"))
        yield full_env
        if os.path.exists(journal):
            with open(journal, encoding="utf-8") as f:
                check_agent_released(f.read().splitlines())


def install_standins(drive_root):
    """Copies the stand-in cmd.exe and wusa.exe into the system folder of the
    drives under drive_root, where Windows keeps the real ones. Returns the
    folder."""
    drive, path = SYSTEM_FOLDER.split(":", 1)
    folder = os.path.join(drive_root, drive, *path.strip("\\").split("\\"))
    os.makedirs(folder, exist_ok=True)
    for name, standin in STANDIN_PROGRAMS.items():
        shutil.copy2(os.path.join(STANDINS, standin), os.path.join(folder, name))
    return folder


def run_worker(args, env=None, timeout=120):
    """Runs the worker with the given arguments (argv[1:]) and returns its
    console text."""
    with worker_environment(env) as full_env:
        proc = subprocess.run([WORKER] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              env=full_env, timeout=timeout, stdin=subprocess.DEVNULL)
    return WorkerRun(proc.stdout, decode_console(proc.stdout), proc.returncode)


def open_for_writing(fifo):
    """Opens a named pipe for writing, which waits until a reader opens it."""
    opened = []
    thread = threading.Thread(target=lambda: opened.append(os.open(fifo, os.O_WRONLY)))
    thread.start()
    thread.join(NO_PARTNER_LIMIT)
    if not opened:
        os.close(os.open(fifo, os.O_RDONLY | os.O_NONBLOCK))  # ends the waiting open
        thread.join()
        os.close(opened[0])
        raise AssertionError("nothing opened %s for reading" % fifo)
    return opened[0]


@contextlib.contextmanager
def holding(command, path, env=None, cwd=None):
    """A hold_file program (command) holding the file path open for the
    length of the block, as another program (a virus scanner) would: it
    says "held" once it holds the file and lets go when its standard input
    ends; the file is closed once it has exited. One that does not answer,
    or does not end, within NO_PARTNER_LIMIT fails the test."""
    proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            env=env, cwd=cwd)
    try:
        said = b""
        while b"\n" not in said and select.select([proc.stdout], [], [], NO_PARTNER_LIMIT)[0]:
            chunk = os.read(proc.stdout.fileno(), 256)
            if not chunk:
                break
            said += chunk
        if said.strip() != b"held":
            raise AssertionError("hold_file could not open %s: %r" % (path, said))
        yield
    finally:
        proc.stdin.close()
        try:
            proc.wait(timeout=NO_PARTNER_LIMIT)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(NO_PARTNER_LIMIT)
            raise
        finally:
            proc.stdout.close()


def drain_ended_output(proc):
    """For a process that has exited: reads what its output pipes still hold
    and returns (standard output, whether both pipes were at their end). A
    pipe that a program started by the process still holds is not: a parent
    reading it to its end would wait for that program."""
    raw = b""
    ended = True
    for pipe in (proc.stdout, proc.stderr):
        os.set_blocking(pipe.fileno(), False)
        data = b""
        try:
            while chunk := os.read(pipe.fileno(), 65536):
                data += chunk
        except BlockingIOError:
            ended = False
        if pipe is proc.stdout:
            raw = data
        pipe.close()
    return raw, ended


def run_worker_to_exit(args, env=None, timeout=120):
    """Runs the worker until it exits, then reads its output without waiting
    any further. Returns the run and whether its output had ended with it."""
    with worker_environment(env) as full_env:
        proc = subprocess.Popen([WORKER] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=full_env, stdin=subprocess.DEVNULL)
        proc.wait(timeout=timeout)
        raw, ended = drain_ended_output(proc)
    return WorkerRun(raw, decode_console(raw), proc.returncode), ended


@dataclass
class ReceivedRequest:
    head: bytes           # request line and headers, CRLF separated, without the blank line
    body: bytes

    @property
    def request_line(self):
        return self.head.split(b"\r\n", 1)[0].decode("latin-1")

    @property
    def headers(self):
        """Headers as (name, value) pairs in the order they were sent."""
        lines = self.head.decode("latin-1").split("\r\n")[1:]
        return [tuple(part.strip() for part in line.split(":", 1)) for line in lines if line]

    def report(self):
        """The UpdateDeployJobStatus fields as text, None for an absent one."""
        root = ET.fromstring(self.body)
        body = root.find("{http://schemas.xmlsoap.org/soap/envelope/}Body")
        request = list(body)[0]
        fields = {child.tag: (child.text or "") for child in request}
        return fields


class StatusServer:
    """A loopback server that reads whole HTTP requests and answers each
    connection with the next scripted reply. A reply is bytes to send before
    closing, "silent" to accept and never answer, "reset" to drop the
    connection with a reset once the request has arrived, ("reset after",
    bytes) to send the start of a reply and then reset, or a routine that
    writes to the connection itself (see drip and stream). When the script
    runs out, every further request is acknowledged with 202.
    A plain server that is spoken TLS to answers "400 Bad Request", as web
    servers do. With listening=False the port is bound but refuses every
    connection until listen() is called. Once closed, connections counts
    every connection made to it, answered or not. Over TLS the server
    presents certificate, (the file of its certificate and the chain it
    sends, the file of its key), or else a self-signed certificate for
    another host; tls_setup, a routine, may change its ssl.SSLContext (its
    versions or ciphers). server_names records the server name that each
    TLS client sent, None for none.
    With journal, a file's path, the server appends one line to that file
    just before it answers each request: "ack <nJobID> <nStatus> <the first
    40 characters of strErrorDescription>" for a 2xx reply, "refused ..."
    for any other answer (or none; a routine's answer counts as refused);
    "%", CR and LF in the description percent-encoded, "?" for a field that
    the request does not hold."""

    def __init__(self, replies=(), tls=False, listening=True, journal=None, certificate=None, tls_setup=None):
        self.replies = list(replies)
        self.journal = journal
        self.requests = []
        self.connections = 0
        self.server_names = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._silent = []
        self._context = None
        self._tmp = None
        if tls:
            if certificate:
                cert, key = certificate
            else:
                self._tmp = tempfile.TemporaryDirectory()
                made = certificates.other_host_certificate(self._tmp.name)
                cert, key = made.cert, made.key
            self._context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            if tls_setup:
                tls_setup(self._context)
            self._context.load_cert_chain(cert, key)
            self._context.sni_callback = lambda conn, name, context: self.server_names.append(name)
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._sock.bind(("127.0.0.1", 0))
        self._listening = listening
        if listening:
            self._sock.listen(16)
        self._sock.settimeout(0.2)
        self.port = self._sock.getsockname()[1]
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def __enter__(self):
        if self._listening:
            self._thread.start()
        return self

    def listen(self):
        """Starts accepting connections on a server made with listening=False."""
        self._sock.listen(16)
        self._listening = True
        self._thread.start()

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self._stop.set()
        if self._thread.is_alive():
            self._thread.join(timeout=10)
        if self._listening:
            # A client's connection is complete before its connect returns:
            # one that the serving loop has not taken yet waits here.
            with contextlib.suppress(OSError):
                self._sock.setblocking(False)
                while True:
                    self._sock.accept()[0].close()
                    self.connections += 1
        for conn in self._silent:
            try:
                conn.close()
            except OSError:
                pass
        self._sock.close()
        if self._tmp:
            self._tmp.cleanup()

    def _serve(self):
        while not self._stop.is_set():
            try:
                conn, _ = self._sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            self.connections += 1
            threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _next_reply(self):
        with self._lock:
            return self.replies.pop(0) if self.replies else ACCEPTED

    def _journal_reply(self, request, reply):
        acknowledged = isinstance(reply, bytes) and reply.startswith(b"HTTP/1.1 2")
        try:
            fields = request.report()
        except (ET.ParseError, IndexError, AttributeError, TypeError):
            fields = {}
        description = fields.get("strErrorDescription", "?")[:JOURNALED_DESCRIPTION]
        for char, code in (("%", "%25"), ("\r", "%0D"), ("\n", "%0A")):
            description = description.replace(char, code)
        line = "%s %s %s %s\n" % ("ack" if acknowledged else "refused", fields.get("nJobID", "?"),
                                  fields.get("nStatus", "?"), description)
        # One write to a file opened for appending: whole lines, in order with
        # the lines that the worker appends to the same file.
        fd = os.open(self.journal, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
        try:
            os.write(fd, line.encode("utf-8"))
        finally:
            os.close(fd)

    def _handle(self, conn):
        try:
            conn.settimeout(30)
            # A TLS server writes its session tickets and then its reply: with
            # Nagle's algorithm the reply would wait for the client's delayed
            # acknowledgement of the tickets, some 40 ms on every connection.
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            if self._context:
                conn = self._context.wrap_socket(conn, server_side=True)
            data = b""
            while b"\r\n\r\n" not in data:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                data += chunk
                if not self._context and data.startswith(b"\x16\x03"):
                    conn.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                    conn.close()
                    return
            head, rest = data.split(b"\r\n\r\n", 1)
            length = 0
            for line in head.split(b"\r\n")[1:]:
                name, _, value = line.partition(b":")
                if name.strip().lower() == b"content-length":
                    length = int(value.strip())
            while len(rest) < length:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                rest += chunk
            with self._lock:
                self.requests.append(ReceivedRequest(head, rest))
            reply = self._next_reply()
            if self.journal:
                self._journal_reply(ReceivedRequest(head, rest), reply)
            if callable(reply):
                reply(conn, self._stop)
                conn.close()
                return
            if reply == "silent":
                self._silent.append(conn)
                return
            if isinstance(reply, tuple) and reply[0] == "reset after":
                conn.sendall(reply[1])
                reply = "reset"
            if reply == "reset":
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                conn.close()
                return
            conn.sendall(reply)
            if self._context:
                try:
                    conn.unwrap()
                except (OSError, ssl.SSLError):
                    pass
            conn.close()
        except (OSError, ssl.SSLError):
            try:
                conn.close()
            except OSError:
                pass


def drip(head, unit, interval=0.2):
    """A reply that sends head, then unit every interval for as long as the
    client reads and the server runs: never complete, never silent."""
    def send(conn, stop):
        conn.sendall(head)
        while not stop.wait(interval):
            conn.sendall(unit)
    return send


class stream:
    """A reply of head followed by size bytes of filler, written as the
    client reads them; sent counts the bytes of filler that went out."""

    def __init__(self, head, size):
        self.head, self.size, self.sent = head, size, 0

    def __call__(self, conn, stop):
        conn.sendall(self.head)
        block = b" " * 65536
        while self.sent < self.size and not stop.is_set():
            conn.sendall(block[:self.size - self.sent])
            self.sent += min(len(block), self.size - self.sent)


def unused_port():
    """A loopback port with nothing listening on it (connection refused)."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def job_args(port, transport="0", update_id="00000000-0000-0000-0000-000000000000", job="42", drive="C",
             user="agent", password="secret", host="127.0.0.1", system="7", patch="9"):
    """The ten arguments of a deployment job, in command-line order."""
    return [update_id, job, drive, user, password, host, str(port), system, patch, transport]
