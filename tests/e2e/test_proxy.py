"""The patcher behind a proxy named in the user's Internet Options: the real exe under Wine, a local
CONNECT proxy (connect_proxy.py) and the release server behind it.

Wine 8 keeps the user's proxy only in the binary `DefaultConnectionSettings` value (it ignores
ProxyEnable/ProxyServer), accepts WinHTTP's automatic mode and then ignores those settings, so these
runs pass `--user-proxy`: the path Windows before 8.1 takes. Wine 8 also fails a request whose
tunnel a proxy refuses with 407 as a secure-channel error (12157) without showing the status, so
the 407 here comes from the server through the tunnel, which is how Windows reports a refused
tunnel. This module's Wine prefix is its own, so the settings written here reach no other module.
"""
import subprocess
import unittest

import update_scenario
from connect_proxy import ConnectProxy
from patcher_run import WINE_LOADER, WINE_PREFIX, WINESERVER
from release_server import Fault
from update_scenario import UpdateScenario

setUpModule = update_scenario.make_keys
tearDownModule = update_scenario.drop_keys

CONNECTIONS = (r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections")
PROXY_AUTH_TEXT = ("Proxy sunucusu kimlik doğrulaması istiyor. Windows'taki proxy ayarlarınızı "
                   "kontrol edin.")
FILES = {"Velmor2.exe": b"MZ proxied game", "data/world.pak": b"w" * 70000}


def connection_settings(proxy, bypass=""):
    """Internet Options' binary record: version, counter, flags (1 direct, 2 named proxy), then
    each of proxy, bypass list and script URL as a length and its bytes."""
    def field(text):
        data = text.encode("ascii")
        return len(data).to_bytes(4, "little") + data
    flags = 1 | (2 if proxy else 0)
    return b"".join([(0x46).to_bytes(4, "little"), (1).to_bytes(4, "little"),
                     flags.to_bytes(4, "little"), field(proxy), field(bypass), field(""),
                     bytes(32)])


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
        self.proxies = []

    def tearDown(self):
        wine("reg", "delete", CONNECTIONS, "/v", "DefaultConnectionSettings", "/f")
        for proxy in self.proxies:
            proxy.stop()
        super().tearDown()

    def use_proxy(self, bypass=""):
        proxy = ConnectProxy().start()
        self.proxies.append(proxy)
        wine("reg", "add", CONNECTIONS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY",
             "/d", connection_settings(proxy.address, bypass).hex(), "/f")
        return proxy

    def test_update_goes_through_the_users_proxy(self):
        proxy = self.use_proxy()
        self.publish(FILES)
        fields = self.update("--user-proxy")
        self.assertEqual((fields["CODE"], fields["DOWNLOAD_CODE"]), ("0", "0"), fields)
        self.assertInstalled(FILES)
        server = f"127.0.0.1:{self.server.port}"
        self.assertGreaterEqual(len(proxy.connects), 1)
        self.assertEqual(set(proxy.connects), {server})
        self.assertIn(f"http: proxy: user settings: proxy {proxy.address}\r\n", self.box.log_text())

    def test_the_bypass_list_goes_around_the_proxy(self):
        proxy = self.use_proxy(bypass="127.0.0.1")
        self.publish(FILES)
        fields = self.update("--user-proxy", command="--check")
        self.assertEqual(fields["CODE"], "0", fields)
        self.assertEqual(proxy.connects, [])
        self.assertGreaterEqual(len(self.server.requests), 4)

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


if __name__ == "__main__":
    unittest.main()
