#!/usr/bin/env python3
"""The demo release and a patcher run against it; called by scripts/demo.sh after the builds.

Everything lives in demo/ at the top of the checkout: the demo keys (made once), the published
release (made once), the patcher's folder with its data and game folders, and a Wine prefix.
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from release_server import ReleaseServer  # noqa: E402  (the test server, here without faults)

DEMO = ROOT / "demo"
TOOL = ROOT / "build" / "tool" / "tools" / "release" / "garun2-release"
PATCHER = ROOT / "build" / "win64" / "app" / "Velmor2Launcher.exe"
GAME_EXE = ROOT / "build" / "win64" / "tools" / "demo_game" / "Velmor2.exe"
WINE_RUN = ROOT / "cmake" / "wine-run.sh"
EXPIRES = "2036-01-01T00:00:00Z"
# A fixed port: the manifest names every file's address, so the release and the server must agree.
PORT = 47443
BASE_URL = f"https://127.0.0.1:{PORT}/live"


def say(text):
    print(f"demo: {text}", flush=True)


def tool(*args):
    done = subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"demo: garun2-release {args[0]} failed ({done.returncode}):\n"
                 f"{done.stdout}{done.stderr}")
    return done.stdout


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def make_keys(keys):
    if (keys / "root.pub").exists():
        return
    keys.mkdir(parents=True, exist_ok=True)
    for name in ("root", "release"):
        tool("keygen", "--out", keys / name)
    say(f"made a demo root key and a release signing key in {keys}")


def make_game_files(game):
    if game.exists():
        shutil.rmtree(game)
    (game / "data").mkdir(parents=True)
    shutil.copy2(GAME_EXE, game / "Velmor2.exe")
    (game / "data" / "world.pak").write_bytes(bytes(range(256)) * 256)
    (game / "readme.txt").write_text("Garun2 demo release: a stand-in game for the patcher demo.\n")


def publish(site, keys):
    release = site / "live"
    if release.exists():
        say(f"the demo release is already published in {release}")
        return
    make_game_files(DEMO / "game-files")
    registry = DEMO / "keys.txt"
    if not registry.exists():
        tool("registry", registry, "--key", keys / "root.pem", "--version", "1",
             "--expires", EXPIRES, "--add", f"release-1={keys / 'release.pub'}")
    site.mkdir(parents=True, exist_ok=True)
    tool("publish", "--out", release, "--game", DEMO / "game-files", "--keys", registry,
         "--key", keys / "release.pem", "--root-key-file", keys / "root.pub",
         "--base-url", BASE_URL, "--version", "1.0.0", "--channel", "demo",
         "--counter", "1", "--expires", EXPIRES)
    say(f"published release 1.0.0 (counter 1) into {release}")


def run_patcher(server, keys):
    folder = DEMO / "patcher"
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy2(PATCHER, folder / "Velmor2Launcher.exe")
    root_key = (keys / "root.pub").read_text().strip()
    env = dict(os.environ, GARUN2_WINEPREFIX=str(DEMO / "wineprefix"))
    command = [str(WINE_RUN), str(folder / "Velmor2Launcher.exe"), "--headless", "--check",
               "--base-url", server.url("/live"), "--data-dir", windows_path(folder / "data"),
               "--install-dir", windows_path(folder / "game"), "--root-key-b64", root_key]
    say("running: Velmor2Launcher.exe --headless --check (wine64) against " + server.url("/live"))
    done = subprocess.run(command, capture_output=True, env=env, timeout=600)
    report = done.stdout.decode("utf-8", "replace")
    for line in report.splitlines():
        print("    " + line)
    return done.returncode, report


def main():
    keys = DEMO / "keys"
    make_keys(keys)
    publish(DEMO / "site", keys)
    with ReleaseServer(DEMO / "site", port=PORT) as server:
        say(f"serving {DEMO / 'site'} over HTTPS at {server.url('/')}")
        code, report = run_patcher(server, keys)
    fields = dict(line.split(": ", 1) for line in report.splitlines() if ": " in line
                  and not line.startswith(" "))
    say(f"patcher exit code {code}; support log: {DEMO / 'patcher' / 'patcher.log'}")
    if code != 0 or fields.get("MAY_LAUNCH") != "yes":
        say("the patcher did not accept the demo release")
        return 1
    wanted = int(fields.get("DOWNLOAD_COUNT", "0"))
    if wanted:
        say(f"release {fields['VERSION']} accepted; {wanted} file(s) to download into "
            f"{DEMO / 'patcher' / 'game'} ({fields['DOWNLOAD_BYTES']} bytes). This build checks "
            "only: the download engine is not part of it yet.")
    else:
        say(f"release {fields['VERSION']} accepted and the game folder is up to date")
    return 0


if __name__ == "__main__":
    sys.exit(main())
