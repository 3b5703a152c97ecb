"""`--headless --update` cut short: a server that stalls past the per-file deadline, and the patcher
killed in the middle of a large transfer (TerminateProcess, and SIGKILL of the Wine process). Every
file must be its old bytes or its new verified bytes, never a mix, and the next update finishes by
resuming from what the killed run kept.
Kept apart from test_update so that these slow scenarios run beside it."""
import os
import random
import signal
import subprocess
import time
import unittest

import update_scenario
from patcher_run import WINE_LOADER, WINE_PREFIX, windows_path
from release_server import Fault
from update_scenario import KEYS, NOW, UpdateScenario, leftovers, partial_name

setUpModule = update_scenario.make_keys
tearDownModule = update_scenario.drop_keys

BIG = "maps/big.pak"


def release(tag, big_size):
    files = {f"data/f{i}.bin": f"{tag}-{i}".encode() * 500 for i in range(12)}
    # Not periodic: a resume that appends at the wrong offset must change the hash.
    files[BIG] = random.Random(tag).randbytes(big_size)
    return files


class InterruptedUpdateTest(UpdateScenario):
    def test_a_stalled_body_ends_at_the_files_deadline_and_the_next_attempt_resumes(self):
        small = b"t" * 1000  # what the trickle sends: the bytes it got through are good ones
        self.publish({"data/small.bin": small})
        # One byte every two seconds: a 1000-byte file may take 61 s in all.
        self.server.set_fault("/live/files/data/small.bin",
                              Fault.trickle(total=1000, interval=2, seconds=90, times=1))
        started = time.monotonic()
        fields = self.update()
        self.assertGreater(time.monotonic() - started, 55)
        self.assertEqual(fields["DOWNLOAD_CODE"], "0", fields["DOWNLOAD_DIAGNOSTIC"])
        first, second = self.server.ranges_for("/live/files/data/small.bin")
        self.assertIsNone(first)
        self.assertRegex(second, r"^bytes=[1-9][0-9]*-$")
        self.assertIn("download failed for data/small.bin: TIMEOUT (status 200, os 0); attempt 2 "
                      "of 3 carries on from byte " + second[6:-1], self.box.log_text())
        self.assertInstalled({"data/small.bin": small})
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
                self.server.forget()
                running = self.start_update()
                try:
                    # Well past the share a resume may fetch twice, so a restart from byte 0
                    # cannot pass for one.
                    self.wait_for_partial(self.game / partial_name(BIG, new[BIG]),
                                          at_least=len(new[BIG]) * 2 // 5)
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
                killed_run = len(self.server.requests_for(f"/live/files/{BIG}"))
                self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")
                self.assertInstalled(new)
                resumed = self.server.ranges_for(f"/live/files/{BIG}")[killed_run:]
                self.assertTrue(resumed, "the next update never asked for the file")
                for header in resumed:
                    self.assertRegex(header or "", r"^bytes=[1-9][0-9]*-$")
                self.assertLessEqual(self.server.bytes_sent(f"/live/files/{BIG}"),
                                     1.15 * len(new[BIG]))
                self.assertEqual(leftovers(self.game), [])
                self.publish(old, counter=str(counter + 1))
                self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")

    def start_update(self):
        return self.box.start("--headless", "--update", "--base-url", self.server.url("/live"),
                              "--data-dir", windows_path(self.data),
                              "--install-dir", windows_path(self.game),
                              "--root-key-b64", KEYS["root"].public_b64, "--now", NOW)

    def wait_for_partial(self, partial, at_least, seconds=120):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if partial.exists() and partial.stat().st_size >= at_least:
                return
            time.sleep(0.1)
        self.fail(f"{partial} never reached {at_least} bytes")

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
