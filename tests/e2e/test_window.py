"""The player's window under Wine and Xvfb, used as a player would: it installs a release on its
own, repairs a damaged file on the next start, starts the game with a key when "OYNA" is pressed
and ends with it, carries on with the accepted release when the server is gone, and replaces
itself when a release carries a new patcher. Screenshots land in test-results/window."""
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

import ca_setup
import update_scenario
import window_driver as wd
from patcher_run import BUILD_DIR, windows_path
from release_server import Fault, ReleaseServer
from update_scenario import UpdateScenario

DEMO_GAME = BUILD_DIR / "win" / "demo_game" / "Velmor2.exe"


def setUpModule():
    wd.ensure_display(private=True)


class WindowTest(UpdateScenario):
    def arguments(self, *extra):
        # Asked once: the address stays the same after the server is stopped.
        self.base_url = getattr(self, "base_url", None) or self.server.url("/live")
        return [*self.release_arguments(self.base_url), *extra]

    def start_window(self, *extra):
        self.states_seen = len(wd.window_states(self.box.log_text()))
        process = self.box.start(*self.arguments(*extra))
        self.addCleanup(lambda: process.poll() is None and process.kill())
        return process, wd.PatcherWindow.wait()

    def wait_state(self, prefix, timeout=180):
        """The states this start's window showed, once the latest starts with `prefix`."""
        return wd.wait_state(self.box.log_text, prefix, timeout, since=self.states_seen)

    def close(self, process, window):
        window.click_close()
        self.assertEqual(process.wait(timeout=60), 0)

    def test_ui_selftest_paints_every_view(self):
        # Every view at the design size and at 200 %, kept as PNG files for people to look at.
        shots = wd.SHOTS / "views"
        shutil.rmtree(shots, ignore_errors=True)
        shots.mkdir(parents=True)
        run = self.box.run("--ui-selftest", "--screenshots", windows_path(shots))
        self.assertEqual((run.code, run.stdout.split("\r\n")[-2]), (0, "UI_SELFTEST: OK"),
                         run.stdout)
        for bmp in shots.glob("*.bmp"):
            subprocess.run(["convert", str(bmp), str(bmp.with_suffix(".png"))], check=True)
            bmp.unlink()
        self.assertEqual(sorted(p.name for p in shots.iterdir()),
                         sorted(f"{view}-{size}.png" for size in ("900x560", "1800x1120")
                                for view in ("first-install", "main", "downloading", "repair",
                                             "connection-error", "blocked")))

    def test_install_repair_play_and_offline(self):
        if not ca_setup.trusted_by_host(ca_setup.ensure()):
            raise unittest.SkipTest("the test CA is not in the host store (run as root)")
        # Many files over loopback report progress as fast as the workers can, while the window
        # thread is kept busy decoding a large stage picture: the install must still end ready.
        files = {"Velmor2.exe": DEMO_GAME.read_bytes(), "data/world.pak": bytes(range(256)) * 800,
                 "readme.txt": "Işıklı Çarşı açıldı\n".encode()}
        files.update({f"data/part{i:03}.bin": bytes([i % 256]) * (4096 + i) for i in range(150)})
        self.publish(files)
        stage = subprocess.run(["convert", "-seed", "7", "-size", "3200x2000", "plasma:",
                                "-quality", "80", "jpeg:-"], check=True, capture_output=True).stdout
        self.serve_signed("stage.jpg", stage)
        keys = ReleaseServer(tempfile.mkdtemp(prefix="garun2-keys-")).start()
        self.addCleanup(keys.stop)
        keys.set_fault("/key", Fault.minted_key())

        # The first start cannot read the release: "TEKRAR DENE". Pressed once the server is
        # back, it installs everything without being asked, saying so, and ends ready to play.
        self.server.set_fault("/live/manifest.txt", Fault.status_code(404))
        process, window = self.start_window("--key-service", keys.url("/"))
        self.wait_state("connection-error TEKRAR DENE enabled red")
        window.save("check-failed")
        self.server.set_fault("/live/manifest.txt", None)
        window.wait_look(wd.RED, wd.AMBER, timeout=30)
        window.click_action()
        states = self.wait_state("main OYNA enabled green · Oyun güncel")
        self.assertTrue(any(state.startswith("downloading DURAKLAT enabled amber · Oyun ilk kez "
                                             "kuruluyor — ") for state in states), states)
        window.wait_look(wd.GREEN, wd.AMBER)
        # The signed art is shown on this very start, once the check has accepted the keys.
        wd.wait_for(lambda: "stage: published art in use" in self.box.log_text(), 60,
                    "the published stage art")
        window.save("first-start-ready")
        self.assertInstalled(files)
        # A press on the stage released over the close button is no click, and a second start
        # only brings this window forward.
        layout = window.layout()
        wd.xdotool("mousemove", "--window", window.id, layout.margin, layout.footer_top - 40,
                   "mousedown", "1", "mousemove", "--window", window.id, *layout.close,
                   "mouseup", "1")
        self.assertEqual(self.box.run(*self.arguments()).code, 0)
        self.assertFalse(window.gone())
        self.assertEqual(wd.visible_windows(), [window.id])
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
        self.wait_state("main OYNA enabled amber · Sunucuya ulaşılamadı")
        look = window.wait_look(wd.AMBER, wd.AMBER)
        self.assertFalse(look.secondary)
        window.save("server-unreachable")
        (self.game / "Velmor2.exe").write_bytes(b"not a program")
        window.click_action()
        self.wait_state("blocked ONAR enabled red · Oyun açılamadı", timeout=60)
        window.wait_look(wd.RED, wd.AMBER, timeout=60)
        window.save("game-would-not-start")
        self.close(process, window)

    def test_a_paused_download_sends_nothing_and_resumes_from_its_partial_file(self):
        size = 8 * 1048576
        files = {"Velmor2.exe": b"MZ game", "maps/big.pak": os.urandom(size)}
        self.publish(files)
        big = "/live/files/maps/big.pak"
        # The server paces itself, so what it counts as sent is what the patcher has read: a
        # patcher that holds back its reads leaves megabytes in the sockets' buffers.
        self.server.set_fault(big, Fault.slow(files["maps/big.pak"]))
        process, window = self.start_window()
        self.wait_state("downloading DURAKLAT enabled amber")
        wd.wait_for(lambda: self.server.bytes_sent(big) > 1048576, 60, "a part of big.pak")
        window.click_action()
        self.wait_state("downloading DEVAM ET enabled amber · İndirme duraklatıldı — ", timeout=30)
        time.sleep(1)  # the transfers stop within a second
        stopped = self.server.bytes_sent(big)
        time.sleep(3)
        self.assertEqual(self.server.bytes_sent(big), stopped)
        partial = self.game / update_scenario.partial_name("maps/big.pak", files["maps/big.pak"])
        self.assertTrue(partial.is_file())
        window.save("paused")

        window.click_action()
        self.wait_state("main OYNA enabled green · Oyun güncel")
        self.assertInstalled(files)
        self.assertTrue(self.server.ranges_for(big)[-1].startswith("bytes="),
                        self.server.ranges_for(big))
        self.assertLessEqual(self.server.bytes_sent(big), 1.02 * size)
        # The file finished before the pause is not fetched again.
        self.assertEqual(self.file_requests().count("/live/files/Velmor2.exe"), 1)
        self.close(process, window)

    def test_no_space_a_failed_download_and_files_that_do_not_stay_end_blocked_until_retried(self):
        # A release that needs more room than the disk has is refused before any download, and
        # the headline names the room it needs.
        files = {"Velmor2.exe": b"MZ game", "data/world.pak": b"w" * 50000}
        huge = f"file data/huge.pak {1 << 44} {'0' * 64} {self.server.url('/live/files/huge')}"
        self.publish(files, counter="10", extra_lines=[huge])
        process, window = self.start_window()
        states = self.wait_state("blocked TEKRAR DENE enabled red · Yeterli disk alanı yok. En az ")
        self.assertTrue(states[-1].endswith(" GB boş alan gerekiyor."), states[-1])
        window.save("no-space")
        self.assertEqual(self.file_requests(), [])

        # A failed download says what happened and what to do, and its detail line names the
        # file and the reason: a server's 404, bytes that are not the file, a partial file that is
        # a link to a file outside the game folder.
        self.publish(files, counter="11")
        outside = self.box.root / "outside.txt"
        outside.write_bytes(b"not the game's")
        partial = self.game / update_scenario.partial_name("data/world.pak", files["data/world.pak"])
        failures = [
            (Fault.status_code(404), "İndirme yarıda kaldı. Bağlantınızı kontrol edip TEKRAR "
             "DENE'ye basın.", "data/world.pak · sunucu 404 yanıtı verdi"),
            (Fault.body(b"x" * 50000), "İnen dosya sürümle uyuşmuyor. TEKRAR DENE'ye basın; "
             "sürerse bildirin.", "data/world.pak · içerik doğrulanamadı"),
            ("link", "Oyun klasörüne yazılamıyor. Güncelleyiciyi başka bir klasöre taşıyın.",
             "data/world.pak · bu konuma yazılamıyor"),
        ]
        for fault, headline, detail in failures:
            self.server.set_fault("/live/files/data/world.pak", None if fault == "link" else fault)
            if fault == "link":
                partial.parent.mkdir(parents=True, exist_ok=True)
                partial.symlink_to(outside)
            self.states_seen = len(wd.window_states(self.box.log_text()))
            window.wait_look(wd.RED, wd.AMBER, timeout=30)
            window.click_action()
            self.wait_state("blocked TEKRAR DENE enabled red · " + headline)
            self.assertIn("download failed: " + detail, self.box.log_text())
        window.save("download-failed")
        partial.unlink()
        self.assertEqual(outside.read_bytes(), b"not the game's")

        # Something deletes the file as soon as it lands (a virus scanner, a sync client): two
        # automatic rounds, then the window stops and says so.
        self.server.set_fault("/live/files/data/world.pak", None)
        target = self.game / "data" / "world.pak"
        stop = threading.Event()

        def delete_on_sight():
            while not stop.wait(0.02):
                target.unlink(missing_ok=True)
        deleter = threading.Thread(target=delete_on_sight)
        deleter.start()
        try:
            self.states_seen = len(wd.window_states(self.box.log_text()))
            window.click_action()
            self.wait_state("blocked TEKRAR DENE enabled red · Dosyalar indirildi ama diskte "
                            "kalmıyor")
        finally:
            stop.set()
            deleter.join()
        self.assertIn("automatic download did not converge after 2 rounds", self.box.log_text())
        window.save("files-do-not-stay")

        window.wait_look(wd.RED, wd.AMBER, timeout=30)
        window.click_action()
        self.wait_state("main OYNA enabled green · Oyun güncel")
        self.assertInstalled(files)
        self.close(process, window)

    def test_a_new_patcher_is_applied_and_the_restarted_window_is_ready(self):
        new_patcher = self.box.exe.read_bytes() + b"\r\nnext build\r\n"
        self.publish({"Velmor2Launcher.exe": new_patcher, "Velmor2.exe": b"MZ game"})
        process, window = self.start_window()
        # The restarted patcher is not our child: end whatever is left in the prefix.
        self.addCleanup(wd.end_prefix_processes, self.box.environment())
        self.assertEqual(process.wait(timeout=180), 0)
        restarted = wd.PatcherWindow.wait(timeout=120, besides=(window,))
        self.wait_state("main OYNA enabled green · Oyun güncel")
        restarted.wait_look(wd.GREEN, wd.AMBER)
        restarted.save("restarted-after-self-update")
        self.assertTrue(self.box.exe.read_bytes() == new_patcher)  # no diff of two exes
        # The restarted patcher took over the log beside the exe and removed the retired exe.
        self.assertIn("self-update: publishing", self.box.log_text())
        self.assertIn("self-update: the previous patcher has exited", self.box.log_text())
        self.assertFalse(self.box.exe.with_name("Velmor2Launcher.exe.old").exists())
        restarted.click_close()
        wd.wait_for(restarted.gone, 60, "the restarted window to close")
