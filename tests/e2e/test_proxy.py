"""The patcher behind a proxy named in the user's Internet Options: the real exe under Wine, a local
CONNECT proxy (connect_proxy.py) and the release server behind it.

Wine 8 keeps the user's proxy only in the binary `DefaultConnectionSettings` value (it ignores
ProxyEnable/ProxyServer), accepts WinHTTP's automatic mode and then ignores those settings, so these
runs pass `--user-proxy`: the path Windows before 8.1 takes. Wine 8 also fails a request whose
tunnel a proxy refuses with 407 as a secure-channel error (12157) without showing the status, so
the 407 here comes from the server through the tunnel, which is how Windows reports a refused
tunnel. This module's Wine prefix is its own, so the settings written here reach no other module.
"""
import http.server
import subprocess
import threading

from connect_proxy import ConnectProxy
from patcher_run import WINE_LOADER, WINE_PREFIX, WINESERVER
from release_server import Fault
from update_scenario import UpdateScenario


CONNECTIONS = (r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections")
PROXY_AUTH_TEXT = ("Proxy sunucusu kimlik doğrulaması istiyor. Windows'taki proxy ayarlarınızı "
                   "kontrol edin.")
FILES = {"Velmor2.exe": b"MZ proxied game", "data/world.pak": b"w" * 70000}


def connection_settings(proxy, bypass="", script=""):
    """Internet Options' binary record: version, counter, flags (1 direct, 2 named proxy, 4
    script), then each of proxy, bypass list and script URL as a length and its bytes."""
    def field(text):
        data = text.encode("ascii")
        return len(data).to_bytes(4, "little") + data
    flags = 1 | (2 if proxy else 0) | (4 if script else 0)
    return b"".join([(0x46).to_bytes(4, "little"), (1).to_bytes(4, "little"),
                     flags.to_bytes(4, "little"), field(proxy), field(bypass), field(script),
                     bytes(32)])


class ScriptServer(http.server.ThreadingHTTPServer):
    """Serves one proxy auto-configuration script over plain HTTP, as networks do."""

    def __init__(self, script):
        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.server.fetches += 1
                body = script.encode("ascii")
                self.send_response(200)
                self.send_header("Content-Type", "application/x-ns-proxy-autoconfig")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, format, *args):  # noqa: A002 - the base class's name
                pass

        super().__init__(("127.0.0.1", 0), Handler)
        self.fetches = 0
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self):
        return "http://127.0.0.1:%d/proxy.pac" % self.server_address[1]


def wine(*args):
    environment = {"WINEPREFIX": str(WINE_PREFIX), "WINEDEBUG": "-all", "PATH": "/usr/bin:/bin"}
    subprocess.run([WINE_LOADER, *args], env=environment, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    # The registry is the wineserver's until it writes it out; the patcher's own server reads it.
    subprocess.run([WINESERVER, "-w"], env=environment, timeout=120)


class ProxyTest(UpdateScenario):
    def setUp(self):
        super().setUp()
        # Boots the prefix the way every run does before the registry is written.
        self.box.run("--headless", "--version")
        self.publish(FILES)

    def tearDown(self):
        wine("reg", "delete", CONNECTIONS, "/v", "DefaultConnectionSettings", "/f")
        super().tearDown()

    def use_proxy(self, bypass="", named=True, script=None):
        proxy = ConnectProxy().start()
        self.addCleanup(proxy.stop)
        script_url = ""
        if script is not None:
            self.script = ScriptServer(script.replace("PROXY_ADDRESS", proxy.address))
            self.addCleanup(self.script.server_close)
            self.addCleanup(self.script.shutdown)
            script_url = self.script.url()
        settings = connection_settings(proxy.address if named else "", bypass, script_url)
        wine("reg", "add", CONNECTIONS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY",
             "/d", settings.hex(), "/f")
        return proxy

    def test_update_goes_through_the_users_proxy(self):
        proxy = self.use_proxy()
        self.assertUpdated(self.update("--user-proxy"), FILES)
        self.assertEqual(set(proxy.connects), {f"127.0.0.1:{self.server.port}"})
        self.assertIn(f"http: proxy: user settings: proxy {proxy.address}\r\n", self.box.log_text())

    def test_the_bypass_list_goes_around_the_proxy(self):
        proxy = self.use_proxy(bypass="127.0.0.1")
        fields = self.update("--user-proxy", command="--check")
        self.assertEqual(fields["CODE"], "0", fields)
        self.assertEqual(proxy.connects, [])
        self.assertGreaterEqual(len(self.server.requests), 4)

    def test_the_script_is_asked(self):
        # Wine 8 fetches and runs the script and answers its proxy, but takes a proxy set on a
        # request as a no-op (its request_set_option has only a FIXME for it), so the tunnel
        # cannot be seen here: only that the script from the user's settings was asked.
        self.use_proxy(named=False, script=(
            'function FindProxyForURL(url, host) { return "PROXY PROXY_ADDRESS"; }'))
        fields = self.update("--user-proxy", command="--check")
        self.assertEqual(fields["CODE"], "0", fields)
        self.assertGreaterEqual(self.script.fetches, 1)
        self.assertIn(f"http: proxy: user settings: script {self.script.url()}, else the "
                      "machine's WinHTTP setting\r\n", self.box.log_text())

    def test_a_407_names_the_proxy(self):
        proxy = self.use_proxy()
        self.server.set_fault("/live/keys.txt", Fault.status_code(407))
        fields = self.update("--user-proxy", command="--check")
        self.assertEqual((fields["CODE"], fields["SOURCE"]), ("1", "NONE"), fields)
        self.assertIn("/live/keys.txt: PROXY_AUTH_REQUIRED (status 407, os 0)",
                      fields["DIAGNOSTIC"])
        self.assertEqual(fields["PLAYER"], PROXY_AUTH_TEXT)
        self.assertEqual(set(proxy.connects), {f"127.0.0.1:{self.server.port}"})
        # Credentials are not the kind of failure another attempt cures.
        self.assertEqual(len(self.server.requests_for("/live/keys.txt")), 1)
