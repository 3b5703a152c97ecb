"""The player's window under Wine and Xvfb, used as a player would: it installs a release on its
own, repairs a damaged file on the next start, starts the game with a key when "OYNA" is pressed
and ends with it, carries on with the accepted release when the server is gone, and replaces
itself when a release carries a new patcher. Screenshots land in test-results/window."""
import hashlib
import subprocess
import tempfile
import time
import unittest

import ca_setup
import release_builder as rb
import update_scenario
import window_driver as wd
from patcher_run import BUILD_DIR, LOCAL_APP_DATA, WINE_RUN, windows_path
from release_server import Fault, ReleaseServer
from update_scenario import KEYS, UpdateScenario

DEMO_GAME = BUILD_DIR / "tools" / "demo_game" / "Velmor2.exe"


def setUpModule():
    wd.ensure_display(private=True)
    update_scenario.make_keys()


tearDownModule = update_scenario.drop_keys


class WindowTest(UpdateScenario):
    def start_window(self, *extra):
        # Asked once: the address stays the same after the server is stopped.
        self.base_url = getattr(self, "base_url", None) or self.server.url("/live")
        process = subprocess.Popen(
            [WINE_RUN, str(self.box.exe), "--base-url", self.base_url,
             "--data-dir", windows_path(self.data), "--install-dir", windows_path(self.game),
             "--root-key-b64", KEYS["root"].public_b64, *extra],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.box.environment())
        self.addCleanup(lambda: process.poll() is None and process.kill())
        return process, wd.PatcherWindow.wait()

    def close(self, process, window):
        window.click_close()
        self.assertEqual(process.wait(timeout=60), 0)

    def test_ui_selftest_paints_every_view(self):
        run = self.box.run("--ui-selftest")
        self.assertEqual((run.code, run.stdout.split("\r\n")[-2]), (0, "UI_SELFTEST: OK"),
                         run.stdout)

    def test_install_repair_play_and_offline(self):
        if not ca_setup.trusted_by_host(ca_setup.ensure()):
            raise unittest.SkipTest("the test CA is not in the host store (run as root)")
        files = {"Velmor2.exe": DEMO_GAME.read_bytes(), "data/world.pak": bytes(range(256)) * 800,
                 "readme.txt": "Işıklı Çarşı açıldı\n".encode()}
        self.publish(files)
        stage = subprocess.run(["convert", "-size", "320x200", "gradient:navy-orange", "jpeg:-"],
                               check=True, capture_output=True).stdout
        (self.live / "stage.jpg").write_bytes(stage)
        (self.live / "stage.jpg.sig").write_bytes(rb.sign_bytes(stage, KEYS["release"]))
        keys = ReleaseServer(tempfile.mkdtemp(prefix="garun2-keys-")).start()
        self.addCleanup(keys.stop)
        keys.set_fault("/key", Fault.minted_key())

        # The first start installs everything without being asked and ends ready to play.
        process, window = self.start_window("--key-service", keys.url("/"))
        window.wait_look(wd.GREEN, wd.AMBER)
        # The signed art is shown on this very start, once the check has accepted the keys.
        wd.wait_for(lambda: "stage: published art in use" in self.box.log_text(), 60,
                    "the published stage art")
        window.save("first-start-ready")
        self.assertInstalled(files)
        self.close(process, window)

        # A damaged file is fetched again, and only that file; then "OYNA" starts the game, which
        # gets a key over its pipe, and the patcher ends when the game does. The key service takes
        # its time: a second click meanwhile starts no second game.
        (self.game / "data" / "world.pak").write_bytes(b"\0" * len(files["data/world.pak"]))
        self.server.requests.clear()
        keys.set_fault("/key", Fault.minted_key(delay=2))
        process, window = self.start_window("--key-service", keys.url("/"))
        window.wait_look(wd.GREEN, wd.AMBER)
        self.assertEqual(self.file_requests(), ["/live/files/data/world.pak"])
        self.assertInstalled(files)
        window.click_action()
        time.sleep(0.5)
        window.click_action()
        self.assertEqual(process.wait(timeout=120), 0)
        self.assertTrue(window.gone())
        self.assertEqual(len(keys.posts), 2)  # the first key, then the game's KEYREQ
        log = self.box.log_text()
        self.assertEqual(log.count("launch: started, key channel attached, key-sent=1"), 1)
        self.assertIn("launch: game exited with code 42 (0x0000002A)", log)
        self.assertEqual(keys.leaked_keys(log), [])

        # Without the server the accepted release is still playable: amber "OYNA", no second
        # button. A game that will not start then turns the dot red.
        self.server.stop()
        process, window = self.start_window()
        look = window.wait_look(wd.AMBER, wd.AMBER)
        self.assertFalse(look.secondary)
        window.save("server-unreachable")
        (self.game / "Velmor2.exe").write_bytes(b"not a program")
        window.click_action()
        window.wait_look(wd.RED, wd.AMBER, timeout=60)
        window.save("game-would-not-start")
        self.close(process, window)

    def test_a_new_patcher_is_applied_and_the_restarted_window_is_ready(self):
        new_patcher = self.box.exe.read_bytes() + b"\r\nnext build\r\n"
        self.publish({"Velmor2Launcher.exe": new_patcher, "Velmor2.exe": b"MZ game"})
        process, window = self.start_window()
        # The restarted patcher is not our child: end whatever is left in the prefix.
        self.addCleanup(wd.end_prefix_processes, self.box.environment())
        self.assertEqual(process.wait(timeout=180), 0)
        try:
            restarted = wd.PatcherWindow.wait(timeout=120, besides=(window.id,))
        except AssertionError as no_window:
            # The restarted patcher logs beside the data directory while the old one holds the
            # log beside the exe: both tell what became of it.
            fallback = LOCAL_APP_DATA / "Garun2Patcher" / "patcher.log"
            logs = [self.box.log_text()[-2000:],
                    fallback.read_text("utf-8", "replace")[-2000:] if fallback.exists() else ""]
            raise AssertionError(f"{no_window}; logs:\n" + "\n----\n".join(logs)) from None
        restarted.wait_look(wd.GREEN, wd.AMBER)
        restarted.save("restarted-after-self-update")
        self.assertEqual(hashlib.sha256(self.box.exe.read_bytes()).digest(),
                         hashlib.sha256(new_patcher).digest())
        self.assertIn("self-update: publishing", self.box.log_text())
        restarted.click_close()
        wd.wait_for(restarted.gone, 60, "the restarted window to close")


if __name__ == "__main__":
    unittest.main()
