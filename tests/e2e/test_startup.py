"""Start-up of the real exe under Wine: banner, leftovers, single instance, headless parse errors."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import version_resource
import window_driver as wd
from patcher_run import LOCAL_APP_DATA, Sandbox, windows_path

VERSION = os.environ.get("GARUN2_VERSION", "")
SOURCE_DIR = os.environ.get("GARUN2_SOURCE_DIR", "")


class StartupTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()
        self.old, self.new = (self.box.root / f"Velmor2Launcher.exe.{end}" for end in ("old", "new"))

    def tearDown(self):
        self.box.cleanup()

    def wait_for_log(self, text):
        return wd.wait_for(lambda: text in self.box.log_text(), 60, f"{text!r} in the log")

    def test_a_headless_run_that_cannot_start_says_why_after_the_banner(self):
        # The parser's refusals are proven by its unit tests; this is how they surface.
        for args, said in [((), "ERROR: no command given"),
                           (("--bogus", "--check"), "ERROR: unknown option: --bogus"),
                           (("--self-test", "no-such-probe"), "SELF_TEST: UNKNOWN: no-such-probe")]:
            run = self.box.run("--headless", *args)
            self.assertEqual((run.code, run.stdout), (1, said + "\r\n"))
        lines = self.box.log_text().split("\r\n")
        self.assertRegex(lines[0], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ ---- patcher start, "
                                   r"version \d+\.\d+\.\d+ ----$")
        self.assertEqual(lines[1][21:], "exe: " + windows_path(self.box.exe))
        self.assertEqual(lines[2][21:], "arguments: --headless ")

    def test_leftovers_of_a_finished_self_update_are_removed(self):
        # A lone .new may be a download waiting to be applied: it survives.
        self.new.write_bytes(b"pending")
        self.assertEqual(self.box.run("--headless", "--self-test", "noop").code, 0)
        self.assertTrue(self.new.exists())
        self.old.write_bytes(b"retired")
        self.assertEqual(self.box.run("--headless", "--self-test", "noop").code, 0)
        self.assertEqual((self.old.exists(), self.new.exists()), (False, False))

    def test_leftover_names_that_are_links_are_left_alone(self):
        # Under Wine a host symbolic link shows as a plain file: deleting it by name would delete
        # the file it leads to.
        outside = Path(tempfile.mkdtemp(prefix="garun2-outside-"))
        self.addCleanup(shutil.rmtree, outside, True)
        for link, plain in ((self.old, self.new), (self.new, self.old)):
            with self.subTest(link.suffix):
                victim = outside / link.suffix
                victim.write_bytes(b"not the patcher's")
                link.symlink_to(victim)
                plain.write_bytes(b"retired")
                self.assertEqual(self.box.run("--headless", "--self-test", "noop").code, 0)
                self.assertEqual(victim.read_bytes(), b"not the patcher's")
                self.assertTrue(link.is_symlink())
                shown = windows_path(link.parent) + "\\" + link.name
                self.assertIn(f"self-update: left alone {shown}: it is a link",
                              self.box.log_text())
                for leftover in (self.old, self.new):
                    leftover.unlink(missing_ok=True)

    def test_beside_a_running_patcher_a_second_is_refused_but_version_and_child_probes_run(self):
        # The version of the build files, and the commit git says the sources are at: support
        # asks for it while the player's patcher is open.
        head = subprocess.run(["git", "-C", SOURCE_DIR, "rev-parse", "HEAD"], capture_output=True,
                              text=True, check=True).stdout.strip()
        first = self.box.start("--headless", "--self-test", "noop", "--hold-ms", "10000")
        try:
            self.assertTrue(self.wait_for_log("headless: --self-test noop"))
            time.sleep(0.5)
            second = self.box.run("--headless", "--self-test", "disk-space", "--data-dir",
                                  windows_path(self.box.data_dir))
            self.assertEqual((second.code, second.stdout),
                             (0, "SINGLE_INSTANCE: ALREADY_RUNNING\r\n"))
            child = self.box.run("--headless", "--self-test", "noop")
            self.assertEqual((child.code, child.stdout), (0, "NOOP: OK\r\n"))
            run = self.box.run("--headless", "--version")
        finally:
            out, _ = first.communicate(timeout=120)
        self.assertEqual(first.returncode, 0)
        self.assertEqual(out.decode(), "NOOP: OK\r\nHOLDING_MS: 10000\r\n")
        self.assertEqual(run.code, 0)
        self.assertEqual(list(run.fields()), ["VERSION", "REVISION"])
        reported = run.fields()
        self.assertEqual(reported["VERSION"], VERSION)
        self.assertRegex(reported["REVISION"], "^" + head + "(-modified)?$")
        resource = version_resource.read(self.box.exe)
        self.assertEqual((resource["FileVersion"], resource["ProductVersion"],
                          resource["FileVersionNumbers"], resource["SourceRevision"]),
                         (VERSION, VERSION, VERSION + ".0", reported["REVISION"]))
        banners = [line[21:] for line in self.box.log_text().split("\r\n") if "patcher start" in line
                   or line[21:].startswith("revision: ")]
        self.assertEqual(banners[-2:], [f"---- patcher start, version {VERSION} ----",
                                        "revision: " + reported["REVISION"]])

    def test_restart_after_self_update_takes_over_when_the_old_process_ends(self):
        # The old patcher still holds the mutex, and the log beside the exe, while it exits, here
        # for longer than a few seconds of polling would cover. The restarted one waits for it,
        # then goes on as the single instance (resolving its configuration) in that same log,
        # instead of just surfacing the old window and quitting.
        first = self.box.start("--headless", "--self-test", "noop", "--hold-ms", "8000")
        second = None
        try:
            self.assertTrue(self.wait_for_log("headless: --self-test noop"))
            marker = windows_path(self.box.data_dir)  # unique to this run
            second = self.box.start("--after-self-update", "--data-dir", marker)
            # It opens its window, so it is stopped once the line is there.
            self.assertTrue(self.wait_for_log("data-dir:    " + marker + "\r\n"))
        finally:
            first.communicate(timeout=120)
            if second is not None:
                second.kill()
                second.communicate(timeout=60)
        self.assertEqual(first.returncode, 0)
        self.assertIn("self-update: the previous patcher has exited; this one carries on",
                      self.box.log_text())

    def test_unusable_log_beside_exe_falls_back_to_data_directory(self):
        # A directory where the log file should be makes the first candidate unusable.
        (self.box.root / "patcher.log").mkdir()
        marker = windows_path(self.box.data_dir)  # unique to this run
        run = self.box.run("--headless", "--self-test", "noop", "--data-dir", marker)
        self.assertEqual(run.code, 0)
        fallback = LOCAL_APP_DATA / "Garun2Patcher" / "patcher.log"
        self.assertIn("arguments: --headless --self-test noop --data-dir " + marker + " ",
                      fallback.read_bytes().decode("utf-8", "replace"))

    def test_the_settings_file_beside_the_exe_is_read(self):
        # Its rules, refusals and malformed files are the settings unit tests'; this is the exe
        # finding the file beside itself and logging its decision.
        cfg = self.box.root / "patcher.cfg"
        cfg.write_bytes(b"game-exe  Game Client.exe\n")
        self.assertEqual(self.box.run("--headless", "--self-test", "noop").code, 0)
        self.assertIn("settings: game-exe = Game Client.exe  (from " +
                      windows_path(cfg) + ")", self.box.log_text())
