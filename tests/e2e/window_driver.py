"""Driving the player's window under Xvfb as a player would: start the patcher without --headless,
find its window, wait for what the player would see, click, and keep screenshots.

The window is found by its title with xdotool; what it shows is read from pixels of a screenshot
taken with ImageMagick's `import` (as PPM, parsed here). Where to look follows the window's layout
rules (every measure is a design size at 900 x 560 scaled by one factor), so a point is computed
from the window's size, not remembered from one run. Screenshots are kept as PNG files below the
build's test-results/window folder.
"""
import atexit
import os
import subprocess
import time
from dataclasses import dataclass

from patcher_run import BUILD_DIR, WINESERVER

TITLE_PATTERN = "^Velmor2 G"  # "Velmor2 Güncelleyici"
SHOTS = BUILD_DIR / "test-results" / "window"

AMBER = (201, 162, 39)
GREEN = (94, 155, 110)
RED = (139, 46, 46)
LINE = (58, 49, 41)
MUTED = (154, 144, 129)


_started_display = None


def ensure_display(private=False):
    """Uses $DISPLAY, or starts an Xvfb for the rest of the process when there is none or a
    `private` one is asked for: test modules run side by side, and one module's window finder must
    not pick another module's window."""
    global _started_display
    if _started_display or (os.environ.get("DISPLAY") and not private):
        return os.environ["DISPLAY"]
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"], pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as pipe:
        number = pipe.readline().strip()
    atexit.register(server.terminate)
    _started_display = os.environ["DISPLAY"] = f":{number}"
    return _started_display


def wait_for(condition, timeout, what, interval=0.25):
    """Polls `condition` until it answers something true, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def mul_div(a, b, c):
    """Windows' MulDiv: a * b / c rounded half away from zero."""
    q, r = divmod(abs(a * b), abs(c))
    q += 2 * r >= abs(c)
    return q if (a * b >= 0) == (c > 0) else -q


@dataclass
class Layout:
    """The few places of the window's layout that a player looks at or clicks."""
    width: int
    height: int

    def __post_init__(self):
        w, h = self.width, self.height
        self.scale = max(min(mul_div(w, 1000, 900), mul_div(h, 1000, 560)), 1)
        s = self.scaled
        self.title = max(s(36), 12)
        self.news = w * 300 // 900
        self.margin = s(28)
        footer = max(s(92), 40)
        self.footer_top = max(h - footer, self.title + 1)
        self.action = (w - self.margin - s(190), self.footer_top + (footer - s(52)) // 2,
                       s(190), s(52))
        self.secondary = (max(w - self.margin - s(152) - self.news, self.margin),
                          self.footer_top - s(24) - s(26), s(152), s(26))
        dot = max(s(7), 5)
        self.dot_centre = (self.margin + dot // 2, self.footer_top + s(16) + s(4) + dot // 2)
        button = max(s(46), 24)
        self.close = (w - button // 2, self.title // 2)
        self.settings = (w - 3 * button, 0, button, self.title)
        # The news column's content area, and the settings panel that replaces it while open: five
        # framed value boxes with an arrow inside each end, then the save button.
        x, width, top = w - self.news + s(20), max(self.news - s(40), 1), self.title + s(44)
        self.news_area = (x, top, width, max(self.footer_top - s(16) - top, 1))
        self.tabs_y = self.title + s(20)
        self.arrow = max(s(26), 12)
        self.values = [(x, s(52) * r + self.tabs_y + s(38) + s(20), width, max(s(28), 14))
                       for r in range(5)]
        self.save = (x, self.values[-1][1] + self.values[-1][3] + s(18), width, max(s(32), 16))

    def scaled(self, n):
        return mul_div(n, self.scale, 1000)


class Picture:
    def __init__(self, ppm):
        magic, width, height, depth, self.pixels = ppm.split(maxsplit=4)
        assert magic == b"P6" and depth == b"255", magic
        self.width, self.height = int(width), int(height)

    def at(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def crop(self, x, y, width, height):
        starts = (3 * ((y + row) * self.width + x) for row in range(height))
        return [self.pixels[i:i + 3 * width] for i in starts]


@dataclass
class Look:
    """What the player sees of the state: the status dot, the action button and whether the
    secondary "Yine de oyna" button is there (its one-pixel frame in the line colour)."""
    dot: tuple
    button: tuple
    secondary: bool


def window_states(log_text):
    """What the window showed, in order: the text after "window: " of each state line of the
    support log ("main OYNA enabled green · Oyun güncel")."""
    marker = "window: "
    return [line.split(marker, 1)[1] for line in log_text.splitlines() if marker in line]


def wait_state(read_log, prefix, timeout=180, since=0):
    """Waits until the window's latest state (after the first `since` states) starts with
    `prefix`; answers the whole list of states."""
    def reached():
        states = window_states(read_log())[since:]
        return states if states and states[-1].startswith(prefix) else None
    try:
        return wait_for(reached, timeout, f"the window to show {prefix!r}")
    except AssertionError as timeout_error:
        states = window_states(read_log())
        raise AssertionError(f"{timeout_error}; after {states[:since]} it showed "
                             f"{states[since:]}") from None


def end_prefix_processes(environment):
    """Ends every process of the Wine prefix named by GARUN2_WINEPREFIX in `environment`."""
    subprocess.run([WINESERVER, "-k"], capture_output=True,
                   env=dict(environment, WINEPREFIX=environment["GARUN2_WINEPREFIX"]))


def xdotool(*args):
    done = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)
    return done.stdout.split() if done.returncode == 0 else []


def visible_windows():
    return xdotool("search", "--onlyvisible", "--name", TITLE_PATTERN)


def window_pid(window_id):
    """The process that owns a window (_NET_WM_PID, which Wine sets), or None."""
    found = xdotool("getwindowpid", window_id)
    return found[0] if found else None


class PatcherWindow:
    """One window of one process. X hands a new window the id an old one just freed (the restart
    after a self-update gets its predecessor's id), so a window is known by its id and its process
    together."""

    def __init__(self, window_id):
        self.id = window_id
        self.pid = window_pid(window_id)

    @classmethod
    def wait(cls, timeout=90, besides=()):
        """The patcher's visible window that belongs to none of the windows in `besides`."""
        def fresh():
            return [w for w in visible_windows()
                    if not any(w == old.id and window_pid(w) == old.pid for old in besides)]
        found = wait_for(fresh, timeout, "the patcher's window")
        return cls(found[-1])

    def gone(self):
        return self.id not in visible_windows() or window_pid(self.id) != self.pid

    def import_window(self, *target):
        """Runs `import` on this window, or answers None when the window is gone: given an id
        that no longer exists, `import` falls back to asking for a click, and would wait for ever."""
        if self.gone():
            return None
        try:
            done = subprocess.run(["import", "-window", self.id, *target], capture_output=True,
                                  timeout=30)
        except subprocess.TimeoutExpired:
            return None
        return done if done.returncode == 0 else None

    def picture(self):
        done = self.import_window("-depth", "8", "ppm:-")
        return Picture(done.stdout) if done and done.stdout else None

    def look(self):
        picture = self.picture()
        if picture is None:
            return None
        layout = Layout(picture.width, picture.height)
        x, y, w, h = layout.action
        sx, sy, sw, sh = layout.secondary
        frame = [picture.at(sx, sy + sh // 2), picture.at(sx + sw // 2, sy),
                 picture.at(sx + sw - 1, sy + sh // 2)]
        return Look(dot=picture.at(*layout.dot_centre), button=picture.at(x + 8, y + h // 2),
                    secondary=all(p == LINE for p in frame))

    def wait_look(self, dot, button, timeout=180):
        """Waits until the status dot and the action button show these colours; keeps a
        screenshot of what was there instead when they never do."""
        def matches():
            look = self.look()
            return look if look and (look.dot, look.button) == (dot, button) else None
        try:
            return wait_for(matches, timeout, f"status dot {dot} and action button {button}")
        except AssertionError as timeout_error:
            shot = self.save(f"timeout-{int(time.time())}")
            raise AssertionError(f"{timeout_error}; saw {self.look()}, see {shot}") from None

    def save(self, name, folder=SHOTS):
        folder.mkdir(parents=True, exist_ok=True)
        path = folder / f"{name}.png"
        if self.import_window(str(path)) is None:
            raise AssertionError(f"no screenshot {name}: the window is gone")
        return path

    def click(self, x, y):
        xdotool("mousemove", "--window", self.id, x, y, "click", "1")

    def layout(self):
        picture = wait_for(self.picture, 30, "a screenshot of the window")
        return Layout(picture.width, picture.height)

    def click_action(self):
        x, y, w, h = self.layout().action
        self.click(x + w // 2, y + h // 2)

    def click_close(self):
        self.click(*self.layout().close)

    def wheel(self, x, y, turns, away=True):
        """Turns the wheel over (x, y): away from the player is X button 4, a positive delta."""
        button = 4 if away else 5
        xdotool("mousemove", "--window", self.id, x, y, "click", "--repeat", turns, button)

    def settings_open(self):
        """The title bar's settings button is amber while the panel is open."""
        picture = self.picture()
        return picture is not None and picture.at(
            Layout(picture.width, picture.height).settings[0] + 1, 1) == AMBER
