"""`--headless --update` cut short: a server that stalls past the per-file deadline, and the patcher
killed in the middle of a large transfer (TerminateProcess, and SIGKILL of the Wine process). Every
file must be its old bytes or its new verified bytes, never a mix, and the next update finishes.
Kept apart from test_update so that these slow scenarios run beside it."""
import os
import signal
import subprocess
import time
import unittest

import update_scenario
from patcher_run import WINE_LOADER, WINE_PREFIX, windows_path
from release_server import Fault
from update_scenario import KEYS, NOW, UpdateScenario, leftovers

setUpModule = update_scenario.make_keys
tearDownModule = update_scenario.drop_keys

BIG = "maps/big.pak"


def release(tag, big_size):
    files = {f"data/f{i}.bin": f"{tag}-{i}".encode() * 500 for i in range(12)}
    files[BIG] = tag.encode() * (big_size // len(tag))
    return files


class InterruptedUpdateTest(UpdateScenario):
    def test_a_stalled_body_ends_at_the_files_deadline(self):
        self.publish({"data/small.bin": b"s" * 1000})
        # One byte every two seconds: a 1000-byte file may take 61 s in all.
        self.server.set_fault("/live/files/data/small.bin",
                              Fault.trickle(total=1000, interval=2, seconds=90))
        started = time.monotonic()
        fields = self.update()
        self.assertGreater(time.monotonic() - started, 55)
        self.assertEqual((fields["DOWNLOAD_CODE"], fields["DOWNLOAD_DIAGNOSTIC"]),
                         ("1", "download failed for data/small.bin: TIMEOUT (status 200, os 0)"))
        self.assertFalse((self.game / "data/small.bin").exists())
        self.assertEqual(leftovers(self.game), [])

    def test_killed_in_the_middle_of_a_large_transfer(self):
        old = release("old", 1 << 20)
        self.publish(old)
        self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")
        new = release("new", 32 << 20)
        for counter, kill in ((11, self.terminate_process), (13, self.sigkill)):
            with self.subTest(kill.__name__):
                self.publish(new, counter=str(counter))
                self.server.set_fault(f"/live/files/{BIG}", Fault.slow(new[BIG], interval=0.02))
                running = self.start_update()
                try:
                    self.wait_for_partial(self.game / (BIG + ".tmp"))
                    kill(running)
                finally:
                    running.kill()
                    running.communicate(timeout=60)
                for path in new:
                    with self.subTest(path):
                        self.assertIn((self.game / path).read_bytes(), (old[path], new[path]))
                self.assertEqual((self.game / BIG).read_bytes(), old[BIG])
                # The next update finishes the job and leaves nothing behind.
                self.server.set_fault(f"/live/files/{BIG}", None)
                self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")
                self.assertInstalled(new)
                self.assertEqual(leftovers(self.game), [])
                self.publish(old, counter=str(counter + 1))
                self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")

    def start_update(self):
        return self.box.start("--headless", "--update", "--base-url", self.server.url("/live"),
                              "--data-dir", windows_path(self.data),
                              "--install-dir", windows_path(self.game),
                              "--root-key-b64", KEYS["root"].public_b64, "--now", NOW)

    def wait_for_partial(self, temporary, seconds=120):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if temporary.exists() and temporary.stat().st_size > (1 << 20):
                return
            time.sleep(0.1)
        self.fail(f"{temporary} never grew")

    @staticmethod
    def terminate_process(running):
        # taskkill /F ends the process with TerminateProcess, inside Wine.
        env = dict(os.environ, WINEPREFIX=str(WINE_PREFIX), WINEDEBUG="-all")
        subprocess.run([WINE_LOADER, "taskkill", "/F", "/IM", "Velmor2Launcher.exe"],
                       env=env, capture_output=True, timeout=60)
        running.wait(timeout=60)

    @staticmethod
    def sigkill(running):
        os.kill(running.pid, signal.SIGKILL)
        running.wait(timeout=60)


if __name__ == "__main__":
    unittest.main()
