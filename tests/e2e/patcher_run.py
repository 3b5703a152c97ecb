"""Starting the real patcher under wine64 from scenario tests.

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
# Wine sets LOCALAPPDATA from the prefix's profile, whatever the host environment says.
LOCAL_APP_DATA = WINE_PREFIX / "drive_c" / "users" / os.environ.get("USER", "root") / "AppData" / "Local"


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


class Sandbox:
    """A scratch folder holding a copy of the patcher and a data directory of its own."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix="garun2-e2e-"))
        self.exe = self.root / "Velmor2Launcher.exe"
        shutil.copy2(EXE, self.exe)
        self.data_dir = self.root / "data"

    def environment(self, extra=None):
        environment = dict(os.environ)
        environment["GARUN2_WINEPREFIX"] = str(WINE_PREFIX)
        environment.update(extra or {})
        return environment

    def start(self, *args, env=None):
        """Starts the patcher without waiting; the caller communicates with it."""
        return subprocess.Popen([WINE_RUN, str(self.exe), *args], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=self.environment(env))

    def run(self, *args, timeout=120, env=None):
        done = subprocess.run([WINE_RUN, str(self.exe), *args], capture_output=True,
                              timeout=timeout, env=self.environment(env))
        return Run(done.returncode, done.stdout.decode("utf-8", "replace"),
                   done.stderr.decode("utf-8", "replace"))

    def log_text(self):
        log = self.exe.parent / "patcher.log"
        return log.read_bytes().decode("utf-8", "replace") if log.exists() else ""

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)
