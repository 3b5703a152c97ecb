"""Starting the real patcher under Wine from scenario tests: the shipped 32-bit exe under 32-bit
Wine, the 64-bit build under wine64 (cmake/wine-run.sh picks by the exe's kind).

Each scenario copies the exe into a scratch folder of its own, so the support log (written beside
the executable) and any patcher.cfg belong to that scenario alone.
"""
import os
import shutil
import subprocess
import tempfile
from dataclasses import dataclass
from pathlib import Path

EXE = Path(os.environ.get("GARUN2_EXE", ""))
WINE_RUN = os.environ.get("GARUN2_WINE_RUN", "")
BUILD_DIR = Path(os.environ.get("GARUN2_BUILD_DIR", EXE.parent.parent))
# Every scenario shares the build's prefix: creating one takes longer than most scenarios.
WINE_PREFIX = Path(os.environ.get("GARUN2_WINEPREFIX", BUILD_DIR / "wineprefix"))


def is_pe32(path):
    """True for a 32-bit Windows program: the optional header's magic is 0x10b (PE32+ is 0x20b)."""
    with open(path, "rb") as exe:
        exe.seek(0x3C)
        header = int.from_bytes(exe.read(4), "little")
        exe.seek(header + 24)
        return exe.read(2) == b"\x0b\x01"


SHIPPED_32_BIT = EXE.is_file() and is_pe32(EXE)


def kept_patcher(name):
    """A patcher of an earlier build kept in tests/data/`name`: the shipped 32-bit exe, or the
    64-bit build for machines whose Wine runs only that."""
    return (Path(__file__).resolve().parents[1] / "data" / name /
            ("win32" if SHIPPED_32_BIT else "win64") / "Velmor2Launcher.exe")
# Wine's own programs (taskkill, wineserver -k) for the prefix the scenarios' exe runs in.
WINE_LOADER = "/usr/lib/wine/wine" if SHIPPED_32_BIT else "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver32" if SHIPPED_32_BIT else "/usr/lib/wine/wineserver64"
# Wine sets LOCALAPPDATA from the prefix's profile, whatever the host environment says.
LOCAL_APP_DATA = WINE_PREFIX / "drive_c" / "users" / os.environ.get("USER", "root") / "AppData" / "Local"


def discard_prefix(prefix):
    """Stops a scenario module's Wine prefix and deletes it: each holds some 700 MB of Wine's DLLs,
    and a suite that kept one per module filled the disk of a machine with 14 GB free."""
    prefix = Path(prefix)
    if not prefix.is_dir():
        return
    subprocess.run([WINESERVER, "-k"], env=dict(os.environ, WINEPREFIX=str(prefix)),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    shutil.rmtree(prefix, ignore_errors=True)
    Path(f"{prefix}.lock").unlink(missing_ok=True)


PROXY_VARIABLES = ("http_proxy", "https_proxy", "all_proxy", "no_proxy")


def windows_path(path):
    """The Wine view of a host path: / is drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


@dataclass
class Run:
    code: int
    stdout: str
    stderr: str

    def fields(self):
        """The report as a dict of KEY -> value (first occurrence wins)."""
        found = {}
        for line in self.stdout.split("\r\n"):
            key, sep, value = line.partition(": ")
            if sep and key and key == key.upper() and not key.startswith(" "):
                found.setdefault(key, value)
        return found


class Started(subprocess.Popen):
    """A running patcher whose output goes to files, not pipes: Wine's system processes are started
    by whichever Windows process first needs them and inherit its standard handles, so a pipe would
    stay open (and reading it would block) for as long as any other process of the prefix runs."""

    def __init__(self, command, environment):
        self._out, self._err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        super().__init__(command, stdin=subprocess.DEVNULL, stdout=self._out, stderr=self._err,
                         env=environment)

    def communicate(self, input=None, timeout=None):
        """Waits for the end and answers (stdout, stderr) as bytes."""
        self.wait(timeout=timeout)
        for file in (self._out, self._err):
            file.seek(0)
        return self._out.read(), self._err.read()


class Sandbox:
    """A scratch folder holding a copy of the patcher (the build's, or the exe `exe` names) and a
    data directory of its own."""

    def __init__(self, exe=None):
        self.root = Path(tempfile.mkdtemp(prefix="garun2-e2e-"))
        self.exe = self.root / "Velmor2Launcher.exe"
        shutil.copy2(exe or EXE, self.exe)
        self.data_dir = self.root / "data"

    def environment(self, extra=None):
        # Wine takes a proxy from these: a scenario goes through a proxy only when it says so.
        environment = {key: value for key, value in os.environ.items()
                       if key.lower() not in PROXY_VARIABLES}
        environment["GARUN2_WINEPREFIX"] = str(WINE_PREFIX)
        environment.update(extra or {})
        return environment

    def start(self, *args, env=None):
        """Starts the patcher without waiting; the caller communicates with it."""
        return Started([WINE_RUN, str(self.exe), *args], self.environment(env))

    def run(self, *args, timeout=120, env=None):
        started = self.start(*args, env=env)
        try:
            out, err = started.communicate(timeout=timeout)
        finally:
            if started.returncode is None:
                started.kill()
        return Run(started.returncode, out.decode("utf-8", "replace"),
                   err.decode("utf-8", "replace"))

    def log_text(self):
        log = self.exe.parent / "patcher.log"
        return log.read_bytes().decode("utf-8", "replace") if log.exists() else ""

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)
