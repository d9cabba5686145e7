"""TLS servers that never finish their handshake, for the tests of the
attempt's time limit. A HandshakeStaller listens on loopback in front of a
real status server: its first connections meet a stall, the later ones reach
the status server unchanged. The stalls:
  - HELLO_REQUESTS: once the ClientHello is in, a HelloRequest record every
    STALL_INTERVAL, which a client in the middle of its handshake skips;
  - HELLO_FLOOD: the same records as fast as the client reads them;
  - DRIPPED_HANDSHAKE: a real TLS server's handshake, one byte every
    STALL_INTERVAL, with a certificate chain long enough that it would take
    minutes to arrive.
Each stalled connection goes on until the client closes it, the dripped
handshake has arrived whole, or the staller is closed; once it is closed,
`ends` tells how each one ended."""

import os
import select
import socket
import ssl
import tempfile
import threading
import time
from dataclasses import dataclass

from certificates import other_host_certificate

HELLO_REQUESTS = "HelloRequest records"
HELLO_FLOOD = "HelloRequest records without pause"
DRIPPED_HANDSHAKE = "dripped handshake"
STALL_INTERVAL = 0.05

# A TLS record of the handshake type (22) and version 1.2 holding one
# HelloRequest message (handshake type 0, no body).
HELLO_REQUEST = bytes([22, 3, 3, 0, 4, 0, 0, 0, 0])
# The certificate is sent this many times in the dripped handshake: with
# about 0.45 KB a copy, the server's part of the handshake (over 3 KB) takes
# more than two and a half minutes at one byte every STALL_INTERVAL, longer
# than the product's two-minute limit.
CHAIN_COPIES = 7
# How much of the flood goes out in one write: whole records only.
FLOOD_RECORDS = 1000


@dataclass
class StallEnd:
    by_client: bool  # the client closed the connection, not the staller
    withheld: int    # bytes of the server's handshake that never went out


def closed_by_peer(conn):
    """Whether the other end has closed the connection: reads (and drops)
    what it has sent, without waiting."""
    while select.select([conn], [], [], 0)[0]:
        try:
            if not conn.recv(65536):
                return True
        except OSError:
            return True
    return False


class HandshakeStaller:
    def __init__(self, stall, stalled, forward_port):
        self.stall = stall
        self.stalled = stalled
        self.forward_port = forward_port
        self.ends = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._threads = []
        self._context = None
        self._tmp = None
        if stall == DRIPPED_HANDSHAKE:
            self._tmp = tempfile.TemporaryDirectory()
            made = other_host_certificate(self._tmp.name)
            chain = os.path.join(self._tmp.name, "chain.pem")
            with open(made.cert) as single, open(chain, "w") as out:
                out.write(single.read() * CHAIN_COPIES)
            self._context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self._context.load_cert_chain(chain, made.key)
        self._sock = socket.create_server(("127.0.0.1", 0))
        self._sock.settimeout(0.2)
        self.port = self._sock.getsockname()[1]
        self._accepting = threading.Thread(target=self._accept, daemon=True)

    def __enter__(self):
        self._accepting.start()
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self._stop.set()
        self._accepting.join()
        for thread in list(self._threads):
            thread.join()
        self._sock.close()
        if self._tmp:
            self._tmp.cleanup()

    def _accept(self):
        accepted = 0
        while not self._stop.is_set():
            try:
                conn, _ = self._sock.accept()
            except socket.timeout:
                continue
            conn.setblocking(True)
            target = self._stalled if accepted < self.stalled else self._forwarded
            accepted += 1
            thread = threading.Thread(target=target, args=(conn,), daemon=True)
            self._threads.append(thread)
            thread.start()

    def _stalled(self, conn):
        with conn:
            if self.stall == DRIPPED_HANDSHAKE:
                end = self._drip(conn)
            else:
                end = self._hello_requests(conn, self.stall == HELLO_FLOOD)
            with self._lock:
                self.ends.append(end)

    def _forwarded(self, conn):
        with conn, socket.create_connection(("127.0.0.1", self.forward_port)) as server:
            self._relay(conn, server, None)

    def _hello_requests(self, conn, flood):
        # The ClientHello first.
        while not select.select([conn], [], [], 0.2)[0]:
            if self._stop.is_set():
                return StallEnd(closed_by_peer(conn), 0)
        unsent = b""
        while not self._stop.is_set():
            readable, writable, _ = select.select([conn], [conn] if flood else [], [],
                                                  0.2 if flood else STALL_INTERVAL)
            if readable and closed_by_peer(conn):
                return StallEnd(True, 0)
            if flood and not writable:
                continue
            if not flood:
                unsent += HELLO_REQUEST
            elif not unsent:
                unsent = HELLO_REQUEST * FLOOD_RECORDS
            try:
                unsent = unsent[conn.send(unsent, socket.MSG_DONTWAIT):]
            except BlockingIOError:
                pass
            except OSError:
                return StallEnd(True, 0)
        return StallEnd(closed_by_peer(conn), 0)

    def _drip(self, conn):
        client_end, server_end = socket.socketpair()
        server = threading.Thread(target=self._shake_hands, args=(server_end,), daemon=True)
        server.start()
        with client_end:
            end = self._relay(conn, client_end, STALL_INTERVAL)
        server.join()
        return end

    def _shake_hands(self, conn):
        conn.settimeout(0.2)
        try:
            tls = self._context.wrap_socket(conn, server_side=True, do_handshake_on_connect=False)
        except OSError:
            conn.close()
            return
        with tls:
            while not self._stop.is_set():
                try:
                    tls.do_handshake()
                    return
                except socket.timeout:
                    continue
                except (OSError, ssl.SSLError):
                    return

    def _relay(self, client, server, pace):
        """Moves bytes both ways between client and server until one of them
        closes; the server's bytes reach the client one every pace seconds,
        or as they come without pace."""
        pending = b""
        due = time.monotonic()
        server_open = True
        while not self._stop.is_set():
            if pending and pace:
                wait = max(0.0, due - time.monotonic())
            else:
                wait = 0.0 if pending else 0.2
            readable = select.select([client] + ([server] if server_open else []), [], [], wait)[0]
            if client in readable:
                try:
                    data = client.recv(65536)
                except OSError:
                    data = b""
                if not data:
                    return StallEnd(True, len(pending))
                try:
                    server.sendall(data)
                except OSError:
                    pass
            if server in readable:
                try:
                    data = server.recv(65536)
                except OSError:
                    data = b""
                server_open = bool(data)
                pending += data
            if pending and (not pace or time.monotonic() >= due):
                count = 1 if pace else len(pending)
                try:
                    client.sendall(pending[:count])
                except OSError:
                    return StallEnd(True, len(pending))
                pending = pending[count:]
                due = time.monotonic() + (pace or 0)
            if not server_open and not pending:
                return StallEnd(False, 0)
        return StallEnd(closed_by_peer(client), len(pending))
