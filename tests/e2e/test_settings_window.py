"""The window's settings panel, used as a player would: steps past every limit and saves change only
the edited values of garun2.cfg (the files it refuses to edit are the panel model's tests); a
failed save keeps the old file; and the news list ignores clicks and the wheel while the panel
covers it. One installed game folder and one window serve every case. Screenshots land in
test-results/window."""
import re
import unittest

import update_scenario
import window_driver as wd
from patcher_run import windows_path
from update_scenario import UpdateScenario

NEWS = b"news 1\n" + b"".join(b"item\ntitle Duyuru %d\ndate 2026-12-01\nbody %s\n"
                              % (i, b"Sunucu bak\xc4\xb1m\xc4\xb1 uzun s\xc3\xbcrecek. " * 6)
                              for i in range(10))


def config(windowed, size, gamma, cursor):
    return (f"WINDOWED {windowed}\r\nwidth\t\t{size[0]}\r\n; Çözünürlük elle\r\nHEIGHT=900\r\n"
            f"HEIGHT {size[1]}\r\nGAMMA {gamma}\r\nSOFTWARE_CURSOR {cursor}\r\n"
            "Foo bar  \r\n").encode()


class SettingsPanelTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        wd.ensure_display(private=True)
        update_scenario.make_keys()
        cls.release = release = UpdateScenario("setUp")
        release.setUp()
        cls.addClassCleanup(release.tearDown)
        release.publish({"Velmor2.exe": b"MZ game"})
        release.serve_signed("announce.txt", NEWS)
        assert release.update()["_code"] == 0  # installs, and accepts the keys news is signed by
        cls.cfg, cls.log = release.game / "garun2.cfg", release.box.log_text
        process = release.box.start(*release.release_arguments())
        cls.addClassCleanup(lambda: process.poll() is None and process.kill())
        cls.window = window = wd.PatcherWindow.wait()
        cls.addClassCleanup(lambda: (window.click_close(), process.wait(timeout=60)))
        window.wait_look(wd.GREEN, wd.AMBER)
        cls.layout = window.layout()
        x, y, w, _ = cls.layout.news_area  # the scrollbar's thumb at the top: the news is painted
        wd.wait_for(lambda: (p := window.picture()) and p.at(x + w - 1, y + 1) == wd.MUTED, 60,
                    "the news list")

    def setUp(self):
        self.mark = len(self.log())

    def new_log(self):
        return self.log()[self.mark:]

    def panel(self, open_):
        x, y, w, h = self.layout.settings
        if self.window.settings_open() != open_:
            self.window.click(x + w // 2, y + h // 2)
        try:
            wd.wait_for(lambda: self.window.settings_open() == open_, 30, f"panel open={open_}")
        except AssertionError as timeout:
            raise AssertionError(f"{timeout}, see {self.window.save('panel-timeout')}") from None

    def step(self, row, direction, times=1):
        x, y, w, h = self.layout.values[row]
        for _ in range(times):
            self.window.click(x + (self.layout.arrow // 2 if direction < 0 else w - 4), y + h // 2)

    def click_save(self):
        x, y, w, h = self.layout.save
        self.window.click(x + w // 2, y + h // 2)

    def save(self, outcome="settings: saved ", file=None):
        """Clicks "KAYDET", waits for the log line it must cause and answers the file."""
        count = self.log().count(outcome)
        self.click_save()
        wd.wait_for(lambda: self.log().count(outcome) > count, 30, outcome)
        return (file or self.cfg).read_bytes()

    def saved_size(self, expected):
        """Saves, and answers the size written once every byte matches expected(that size)."""
        saved = self.save()
        size = tuple(int(re.search(rb"^%s\s+(\d+)\r$" % key, saved, re.M).group(1))
                     for key in (b"width", b"HEIGHT"))
        self.assertEqual(saved, expected(size))
        return size

    def test_steps_past_every_limit_change_only_the_edited_values(self):
        self.cfg.write_bytes(config(1, (1111, 777), 2, 0))
        self.panel(True)
        found = wd.wait_for(lambda: re.search(r"settings: display offers (\d+) modes", self.log()),
                            30, "the display's modes")
        modes = int(found.group(1))
        self.window.save("settings-panel-open")
        self.step(0, -1, 3)
        self.step(3, +1)
        self.step(2, +1, 4)
        self.step(1, +1, modes + 1)  # a size that is no mode snaps first
        last = self.saved_size(lambda size: config(0, size, 4, 1))
        self.step(2, -1, 6)
        self.step(1, -1, modes + 1)
        first = self.saved_size(lambda size: config(0, size, 0, 1))
        snapped = re.search(r"settings: 1111x777 is not a display mode, snapped to (\d+)x(\d+)",
                            self.log())
        if modes == 0:
            self.assertEqual((first, last, snapped), ((1111, 777), (1111, 777), None))
        else:
            snapped = tuple(int(v) for v in snapped.groups())
            self.assertTrue((800, 600) <= first <= snapped <= last, (first, snapped, last))
            self.assertEqual(first == last, modes == 1)
        # Reopening reads the file again: a change the game made meanwhile is what gets stepped,
        # and the unchanged file is not offered for saving.
        self.panel(False)
        self.cfg.write_bytes(config(0, first, 3, 1))
        self.panel(True)
        self.click_save()
        self.step(2, -1)
        self.assertEqual(self.saved_size(lambda size: config(0, first, 2, 1)), first)
        self.assertEqual(self.new_log().count("settings: saved "), 3)
        self.panel(False)

    def test_the_download_limit_row_is_kept_in_patcher_cfg_beside_the_exe(self):
        patcher_cfg = self.release.box.exe.parent / "patcher.cfg"
        patcher_cfg.write_bytes(b"game-exe Velmor2.exe\r\n")
        self.addCleanup(patcher_cfg.unlink, missing_ok=True)

        def save_limit(label, line):
            self.assertEqual(self.save(f"(download limit {label})", patcher_cfg),
                             b"game-exe Velmor2.exe\r\n" + line)

        self.panel(True)
        self.step(4, -1)  # already at its end: nothing to save
        self.step(4, +1, 2)
        self.window.save("settings-download-limit")
        save_limit("2 MB/s", b"download-limit-mb 2\r\n")
        # Reopened, the row shows the limit saved, and steps from it.
        self.panel(False)
        self.panel(True)
        self.step(4, -1)
        save_limit("1 MB/s", b"download-limit-mb 1\r\n")
        self.step(4, -1)
        save_limit("Sınırsız", b"download-limit-mb none\r\n")
        self.panel(False)

    def test_a_failed_save_keeps_the_old_file_and_a_missing_one_is_created(self):
        self.cfg.unlink(missing_ok=True)
        self.panel(True)
        wd.wait_for(lambda: "settings: no config yet :: " in self.new_log(), 30, "no config")
        self.step(3, +1)
        self.assertEqual(self.save(), b"SOFTWARE_CURSOR\t1\n")
        blocker = self.cfg.with_name("garun2.cfg.tmp")
        blocker.mkdir()
        self.step(2, +1)
        self.assertEqual(self.save(f"settings: could not write {windows_path(self.cfg)}"),
                         b"SOFTWARE_CURSOR\t1\n")
        blocker.rmdir()
        self.assertEqual(self.save(), b"SOFTWARE_CURSOR\t1\nGAMMA\t4\n")  # still changed
        self.panel(False)

    def test_the_news_ignores_clicks_and_the_wheel_while_the_panel_is_open(self):
        x, y, w, h = self.layout.news_area
        news = lambda: self.window.picture().crop(x, y, w, h)  # noqa: E731
        before = news()
        middle, updates_tab = (x + w // 2, y + h // 2), (x + w // 2, self.layout.tabs_y + 4)
        self.panel(True)
        self.window.wheel(*middle, 3)
        self.window.click(*updates_tab)
        self.panel(False)
        self.assertTrue(news() == before)
        for act, back in [(lambda: self.window.wheel(*middle, 3),
                           lambda: self.window.wheel(*middle, 3, away=False)),
                          (lambda: self.window.click(*updates_tab),
                           lambda: self.window.click(x + 4, self.layout.tabs_y + 4))]:
            act()
            wd.wait_for(lambda: news() != before, 30, "the news to react")
            back()
            wd.wait_for(lambda: news() == before, 30, "the news to come back")
