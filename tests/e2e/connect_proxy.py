"""A local HTTP proxy for the scenarios: it answers CONNECT by opening a tunnel to the named host and
port (only loopback) and copying bytes both ways, and records every CONNECT target it was asked for.

    proxy = ConnectProxy().start()          # listens on 127.0.0.2, a free port
    proxy.address                            # "127.0.0.2:PORT", as a user's settings name it
    proxy.connects                           # ["127.0.0.1:4443", ...] in arrival order
    proxy.stop()

Anything but CONNECT gets a 405.

It listens on 127.0.0.2, not on the release server's 127.0.0.1: Wine 8's WinHTTP sends no CONNECT
when the proxy's host name is the target's (it starts TLS with the proxy itself), so a proxy on the
server's own address would never see a tunnel.
"""
import select
import socket
import socketserver
import threading

LOOPBACK = ("127.0.0.1", "localhost")


class _Handler(socketserver.StreamRequestHandler):
    def handle(self):
        self.connection.settimeout(30)
        head = []
        while True:
            line = self.rfile.readline(8192)
            if not line or line in (b"\r\n", b"\n"):
                break
            head.append(line.decode("latin-1").rstrip("\r\n"))
        if not head:
            return
        method, _, rest = head[0].partition(" ")
        target = rest.split(" ")[0]
        owner = self.server.owner
        if method != "CONNECT":
            self._answer(b"405 Method Not Allowed")
            return
        with owner.lock:
            owner.connects.append(target)
        host, _, port = target.rpartition(":")
        if host not in LOOPBACK or not port.isdigit():
            self._answer(b"403 Forbidden")
            return
        try:
            upstream = socket.create_connection((host, int(port)), timeout=10)
        except OSError:
            self._answer(b"502 Bad Gateway")
            return
        with upstream:
            self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            self.wfile.flush()
            self._pipe(self.connection, upstream)

    def _answer(self, status):
        body = b"proxy says no\n"
        self.wfile.write(b"HTTP/1.1 " + status + b"\r\n" +
                         b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body)
        self.wfile.flush()

    def _pipe(self, client, upstream):
        sockets = [client, upstream]
        while not self.server.owner.stopping.is_set():
            readable, _, broken = select.select(sockets, [], sockets, 0.5)
            if broken:
                return
            for source in readable:
                data = source.recv(65536)
                if not data:
                    return
                (upstream if source is client else client).sendall(data)


class _Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, owner):
        super().__init__(("127.0.0.2", 0), _Handler)
        self.owner = owner


class ConnectProxy:
    def __init__(self):
        self.connects, self.lock, self.stopping = [], threading.Lock(), threading.Event()
        self._server = self._thread = None

    def start(self):
        self._server = _Server(self)
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self.stopping.set()
        self._server.shutdown()
        self._server.server_close()
        self._thread.join()

    @property
    def address(self):
        return "127.0.0.2:%d" % self._server.server_address[1]
