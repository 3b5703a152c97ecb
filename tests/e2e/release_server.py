"""An HTTPS release server for the scenarios: serves a folder over TLS on 127.0.0.1 and misbehaves on
request, per path: `set_fault` names what a path answers, and the server keeps every request, the
body bytes it wrote per path and every POST, for a scenario to check what crossed the wire.

Every fault is bounded in time: stalls and trickles end after their own limit or when the server
stops, so no scenario can hang on the server. Only loopback is used. Files, and the faults that
serve a file's bytes, answer `Range: bytes=N-` (a resumed download) and `Range: bytes=A-B` (the
chunk path; B past the end is cut to the last byte) with a 206 and `Content-Range: bytes
A-B/TOTAL`, or a 416 for a range that starts at the end of the file or later. A chunk index is just
another file ("<file>.chunks", see release_builder.write_chunk_indexes); Fault.ignoring_range
makes a path answer every Range with a 200 and the whole body.
"""
import http.server
import json
import re
import secrets
import ssl
import threading
import time
import urllib.parse
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

import ca_setup


@dataclass
class Fault:
    """What to do instead of serving a path normally. Build one with the class methods."""
    kind: str
    status: int = 200
    headers: dict = field(default_factory=dict)
    body: bytes = b""
    announce: Optional[int] = None  # Content-Length to send; None sends none (and closes)
    interval: float = 0.0           # trickle, slow: seconds between pieces
    piece: int = 65536              # serve: bytes per write (and per pause when slow)
    seconds: float = 0.0            # stall/trickle: the longest the server keeps it up
    times: Optional[int] = None     # answers this many requests, then the path is served normally
    keep: Optional[int] = None      # serve: body bytes sent before the connection is closed
    ranges: str = "honour"          # serve: "honour" or "ignore" (always 200 with every byte)

    @classmethod
    def status_code(cls, status, retry_after=None, body=b"error body", times=None):
        headers = {"Retry-After": retry_after} if retry_after is not None else {}
        return cls("respond", status=status, headers=headers, body=body, announce=len(body),
                   times=times)

    @classmethod
    def redirect(cls, location, status=302):
        """location None sends the redirect status without a Location header."""
        headers = {"Location": location} if location is not None else {}
        return cls("respond", status=status, headers=headers, body=b"", announce=0)

    @classmethod
    def body(cls, data, announce="exact"):
        """A 200 with these bytes; announce: "exact", None (no Content-Length, close to end) or a
        number (more or fewer bytes than are sent; the connection then closes)."""
        length = len(data) if announce == "exact" else announce
        return cls("respond", body=data, announce=length)

    @classmethod
    def trickle(cls, total, interval, seconds, times=None):
        """Announces `total` bytes and sends one every `interval` seconds for at most `seconds`."""
        return cls("trickle", announce=total, interval=interval, seconds=seconds, times=times)

    @classmethod
    def slow(cls, data, piece=65536, interval=0.05):
        """These bytes (200, or 206 for a Range), `piece` bytes every `interval` seconds (until the
        server stops), on a connection that stays open for the next request."""
        return cls("serve", body=data, piece=piece, interval=interval)

    @classmethod
    def cut(cls, data, keep, times=1):
        """These bytes (200, or 206 for a Range) with the whole Content-Length announced, but only
        the first `keep` bytes of the body sent before the connection closes; `times` requests."""
        return cls("serve", body=data, keep=keep, times=times)

    @classmethod
    def ignoring_range(cls, data):
        """These bytes, always as a 200 with all of them, whatever Range asks for."""
        return cls("serve", body=data, ranges="ignore")

    @classmethod
    def stall(cls, seconds):
        """Says nothing for `seconds`, then closes."""
        return cls("stall", seconds=seconds)

    @classmethod
    def minted_key(cls, expires="2036-01-01T00:00:00Z", delay=0.0):
        """A key service's 200: a fresh random key for every request (each kept in the server's
        `minted`), after `delay` seconds."""
        return cls("mint", body=expires.encode(), seconds=delay)


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "Garun2TestServer/1.0"

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def parse_request(self):
        # Wine's WinHTTP names the whole URL in the request line even inside a proxy's tunnel; a
        # server must take that form too (RFC 9112, 3.2.2).
        if not super().parse_request():
            return False
        self.path = re.sub(r"^https?://[^/]*", "", self.path) or "/"
        return True

    def do_GET(self):
        self._answer(self._serve_file)

    def do_POST(self):
        """Only faults answer a POST (a key service is one); the body is recorded."""
        length = min(int(self.headers.get("Content-Length") or 0), 65536)
        with self.server.owner._lock:
            self.server.owner.posts.append((self.path, self.headers.get("Content-Type"),
                                            self.rfile.read(length)))
        self._answer(lambda owner: self._respond(Fault.status_code(404, body=b"not found")))

    def _answer(self, serve):
        owner = self.server.owner
        fault = owner._record(self.command, self.path, self.headers)
        try:
            if fault is None:
                serve(owner)
            elif fault.kind == "respond":
                self._respond(fault)
            else:
                getattr(self, "_" + fault.kind)(fault, owner.stopping)
        except (ConnectionError, ssl.SSLError, OSError):
            self.close_connection = True

    def _serve_file(self, owner):
        target = owner.file_for(self.path)
        if target is None:
            self._respond(Fault.status_code(404, body=b"not found"))
        else:
            self._serve(Fault("serve", body=target.read_bytes()), owner.stopping)

    def _head(self, status, headers, announce):
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        if announce is None:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(announce))
        self.end_headers()

    def _send(self, data):
        # Counted per write: a client that goes away is charged only for what reached the socket.
        self.wfile.write(data)
        self.server.owner._count(self.path, len(data))

    def _respond(self, fault):
        self._head(fault.status, fault.headers, fault.announce)
        self._send(fault.body)
        self.wfile.flush()
        if fault.announce is None or fault.announce != len(fault.body):
            self.close_connection = True

    def _range(self):
        """(first, last) of a `bytes=N-` or `bytes=A-B` Range (last None for the open form);
        None without one, or for one that is not a single range of those forms (served whole)."""
        found = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        if not found:
            return None
        first, last = int(found.group(1)), found.group(2)
        if last and int(last) < first:
            return None
        return first, int(last) if last else None

    def _serve(self, fault, stopping):
        data = fault.body
        asked = None if fault.ranges == "ignore" else self._range()
        if asked is None:
            status, headers, body = 200, {}, data
        elif asked[0] >= len(data):
            return self._respond(Fault("respond", status=416, body=b"", announce=0,
                                       headers={"Content-Range": f"bytes */{len(data)}"}))
        else:
            first = asked[0]
            last = len(data) - 1 if asked[1] is None else min(asked[1], len(data) - 1)
            status, headers = 206, {"Content-Range": f"bytes {first}-{last}/{len(data)}"}
            body = data[first:last + 1]
        self._head(status, headers, len(body))
        sent = body[:fault.keep] if fault.keep is not None else body
        cut = len(sent) < len(body)
        for at in range(0, len(sent), fault.piece):
            if fault.interval and stopping.wait(fault.interval):
                cut = True
                break
            self._send(sent[at:at + fault.piece])
        self.wfile.flush()
        # A slow body sent whole keeps its connection, as a real server's does. Closing it made
        # every file a TLS handshake of its own, and Wine 8.0's schannel, whose handle table takes
        # no lock, now and then fails one of eight at once (WinHTTP error 12157).
        if cut:
            self.close_connection = True

    def _trickle(self, fault, stopping):
        self._head(200, {}, fault.announce)
        self.wfile.flush()
        ends = time.monotonic() + fault.seconds
        for _ in range(fault.announce):
            if stopping.wait(fault.interval) or time.monotonic() > ends:
                break
            self.wfile.write(b"t")
            self.wfile.flush()
        self.close_connection = True

    def _mint(self, fault, stopping):
        stopping.wait(fault.seconds)
        key = "KEY-" + secrets.token_hex(16)
        self.server.owner.minted.append(key)
        answer = json.dumps({"key": key, "expires_at": fault.body.decode()}).encode()
        self._respond(Fault.body(answer))

    def _stall(self, fault, stopping):
        stopping.wait(fault.seconds)
        self.close_connection = True


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, owner, context):
        self.owner = owner
        self.context = context
        super().__init__(("127.0.0.1", 0), _Handler)

    def get_request(self):
        sock, address = self.socket.accept()
        # The handshake happens in the handler's thread, so a stuck client cannot block accepts.
        return self.context.wrap_socket(sock, server_side=True,
                                        do_handshake_on_connect=False), address

    def finish_request(self, request, client_address):
        try:
            request.settimeout(30)
            request.do_handshake()
            request.settimeout(None)
        except (ssl.SSLError, OSError):
            return  # the client refused our certificate: nothing to serve
        super().finish_request(request, client_address)


class ReleaseServer:
    """Serves `root` over HTTPS on 127.0.0.1 with the named certificate of ca_setup ("server",
    "wrong-name", "expired", "untrusted")."""

    def __init__(self, root, certificate="server"):
        self.root = Path(root).resolve()
        self.certificate = certificate
        self.stopping = threading.Event()
        self.requests, self.posts, self.minted = [], [], []
        self._sent, self._faults = {}, {}
        self._lock = threading.Lock()
        self._server = self._thread = None

    def start(self):
        folder = ca_setup.ensure()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(folder / f"{self.certificate}.crt",
                                folder / f"{self.certificate}.key")
        self._server = _Server(self, context)
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.1}, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self.stopping.set()
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._thread.join(timeout=10)
            self._server = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self._server.server_address[1]

    def url(self, path, host="127.0.0.1", scheme="https"):
        return f"{scheme}://{host}:{self.port}/{path.lstrip('/')}"

    def set_fault(self, path, fault):
        """From now on `path` (exact, query included) is answered by `fault` (for its `times`
        requests); None restores it."""
        with self._lock:
            if fault is None:
                self._faults.pop("/" + path.lstrip("/"), None)
            else:
                self._faults["/" + path.lstrip("/")] = [fault, fault.times]

    def set_redirect_chain(self, path, hops, final_path):
        """`path` redirects through hops-1 intermediate paths, the last hop to `final_path`: a
        chain of `hops` redirects in all."""
        names = ["/" + path.lstrip("/")] + [f"/{path.strip('/')}~hop{i}" for i in range(1, hops)]
        for here, there in zip(names, names[1:] + ["/" + final_path.lstrip("/")]):
            self.set_fault(here, Fault.redirect(there))

    def leaked_keys(self, *texts):
        """The minted keys of which any 16-character run shows in one of `texts`."""
        return [key for key in self.minted
                if any(key[i:i + 16] in text for i in range(len(key) - 15) for text in texts)]

    def requests_for(self, path):
        """(method, path, headers); headers answer .get() without regard to case."""
        with self._lock:
            return [r for r in self.requests if r[1] == "/" + path.lstrip("/")]

    def ranges_for(self, path):
        return [headers.get("Range") for _, _, headers in self.requests_for(path)]

    def bytes_sent(self, path):
        with self._lock:
            return self._sent.get("/" + path.lstrip("/"), 0)

    def forget(self):
        """Drops what the server has seen so far: requests, posts and byte counts."""
        with self._lock:
            self.requests.clear()
            self.posts.clear()
            self._sent.clear()

    def file_for(self, path):
        relative = urllib.parse.unquote(path.split("?", 1)[0]).lstrip("/")
        target = (self.root / relative).resolve()
        if self.root not in target.parents or not target.is_file():
            return None
        return target

    def _count(self, path, sent):
        with self._lock:
            self._sent[path] = self._sent.get(path, 0) + sent

    def _record(self, method, path, headers):
        """Notes the request; returns the fault that answers it, if any."""
        with self._lock:
            self.requests.append((method, path, headers))
            entry = self._faults.get(path)
            if entry is None or entry[1] == 0:
                return None
            if entry[1] is not None:
                entry[1] -= 1
            return entry[0]
