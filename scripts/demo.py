#!/usr/bin/env python3
"""The demo release and patcher runs against it; called by scripts/demo.sh after the builds.

Everything lives in demo/ at the top of the checkout: the demo keys (made once), the published
release (made once), the web server's configuration and logs, the patcher's folder with its data
and game folders, and a Wine prefix. The release is served as an operator would serve it: by a
static web server (nginx), started here with a configuration of ours and stopped at the end. First
the patcher's window installs the release as a player would see it (under a private Xvfb when there
is no display) and a screenshot of it is kept; the headless runs then verify the installation. Last,
the installed game is started through the patcher's launch path (demo_launch) with keys from a small
local key service.
"""
import os
import random
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "scripts"))
from release_server import Fault, ReleaseServer  # noqa: E402  (answers POST /key with fresh keys)
from stage_art import make_stage_picture  # noqa: E402  (the project's own stage art)
from static_server import StaticServer  # noqa: E402  (nginx with our configuration)
import window_driver  # noqa: E402  (finds, reads and photographs the patcher's window)

DEMO = ROOT / "demo"
TOOL = ROOT / "build" / "tool" / "tools" / "release" / "garun2-release"
# demo.sh picks the build: the shipped 32-bit exe (win32) where 32-bit Wine runs, else win64.
BUILD = os.environ.get("GARUN2_DEMO_BUILD", "win64")
WINE_NAME = "32-bit Wine, the shipped 32-bit exe" if BUILD == "win32" else "wine64, the 64-bit build"
PATCHER = ROOT / "build" / BUILD / "app" / "Velmor2Launcher.exe"
GAME_EXE = ROOT / "build" / BUILD / "win" / "demo_game" / "Velmor2.exe"
LAUNCHER = ROOT / "build" / BUILD / "win" / "demo_launch" / "demo_launch.exe"
# A prefix is either 32-bit or 64-bit for good: each build has its own.
WINE_PREFIX = DEMO / ("wineprefix32" if BUILD == "win32" else "wineprefix")
WINE_RUN = ROOT / "cmake" / "wine-run.sh"
EXPIRES = "2036-01-01T00:00:00Z"
# A fixed port: the manifest names every file's address, so the release and the server must agree.
PORT = 47443
BASE_URL = f"https://127.0.0.1:{PORT}/live"
OBJECTS_URL = f"https://127.0.0.1:{PORT}/objects"


def say(text):
    print(f"demo: {text}", flush=True)


def tool(*args):
    done = subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"demo: garun2-release {args[0]} failed ({done.returncode}):\n"
                 f"{done.stdout}{done.stderr}")
    return done.stdout


def report_fields(text):
    """The KEY: value lines of a report (the tool's or the patcher's)."""
    return dict(line.split(": ", 1) for line in text.splitlines()
                if ": " in line and not line.startswith(" "))


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
    # Large enough to be served with a chunk index, so a later release fetches only what changed.
    (game / "data" / "world.pak").write_bytes(random.Random(1).randbytes(8 << 20))
    (game / "readme.txt").write_text("Garun2 demo release: a stand-in game for the patcher demo.\n")
    (game / "data" / "quests.txt").write_bytes(quest_text(1))


def quest_text(seed, size=1 << 20):
    """Text-like game data, which travels as its compressed form."""
    rng = random.Random(seed)
    words = [bytes(rng.choices(b"abcdefghijklmnoprstuvyz", k=rng.randint(2, 9)))
             for _ in range(2000)]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + (b"\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


ANNOUNCE = """news 1
item
title Yeni sezon başlıyor: Işıklı Çarşı açıldı
date 2026-12-01
body Değerli oyuncularımız, şölen haftası boyunca tüm bölgelerde çifte ödül sizi bekliyor.
body İyi eğlenceler!
item
title Bakım çalışması
date 2026-12-08
body Sunucularımız Salı sabahı 06:00 ile 08:00 arasında bakımda olacaktır.
"""

UPDATES = """news 1
item
title Sürüm 1.0.0
date 2026-12-07
body Güncelleyici dosyaları paralel indirir ve her dosyayı imzalı listeye göre doğrular.
body Haritalar ve arayüz dosyaları yenilendi.
"""


def make_news(folder):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "announce.txt").write_text(ANNOUNCE, encoding="utf-8")
    (folder / "updates.txt").write_text(UPDATES, encoding="utf-8")
    # Tinted, so the published art is told apart from the picture built into the patcher.
    make_stage_picture(folder / "stage.jpg", tint=40)
    return folder


def publish_objects(site, game, *args):
    """Publishes `game` into site/releases/NNNN with its files in the shared site/objects, then
    points site/live at it the way an operator rolls out: objects first, the link last."""
    report = report_fields(tool("publish", "--game", game, "--keys", DEMO / "keys.txt",
                  "--key", DEMO / "keys" / "release.pem",
                  "--root-key-file", DEMO / "keys" / "root.pub", "--base-url", BASE_URL,
                  "--channel", "demo", "--expires", EXPIRES, "--objects", site / "objects",
                  "--objects-url", OBJECTS_URL, *args))
    release = Path(report["RELEASE"])
    link = site / "live.new"
    link.unlink(missing_ok=True)
    link.symlink_to(release.relative_to(site))
    link.replace(site / "live")
    say(f"published release {report['VERSION']} (counter {report['COUNTER']}) into {release}: "
        f"{report['OBJECTS_ADDED']} new objects ({report['OBJECTS_ADDED_BYTES']} bytes) in "
        f"{site / 'objects'}, {report['OBJECTS_REUSED']} already there "
        f"({report['OBJECTS_REUSED_BYTES']} bytes); {report['FORMS_ADDED']} new compressed "
        f"form(s) of {report['FORMS_ADDED_BYTES']} bytes beside them")
    return report


def publish(site, keys):
    release = site / "live"
    published = DEMO / "game-files" / "Velmor2.exe"
    stale = published.exists() and published.read_bytes() != GAME_EXE.read_bytes()
    if release.exists() and (stale or not release.is_symlink()):
        # A release with the same counter but other files (or URLs) would be refused by the
        # patcher that accepted the old one: start over with both.
        say("the demo release holds a game from an older build, or was published without "
            "objects: publishing it again, and the patcher starts from an empty folder")
        for old in (release, site / "releases", site / "objects", DEMO / "patcher"):
            if old.is_symlink():
                old.unlink()
            else:
                shutil.rmtree(old, ignore_errors=True)
    if release.exists():
        say(f"the demo release is already published in {release.resolve()}")
        return
    make_game_files(DEMO / "game-files")
    registry = DEMO / "keys.txt"
    if not registry.exists():
        tool("registry", registry, "--key", keys / "root.pem", "--version", "1",
             "--expires", EXPIRES, "--add", f"release-1={keys / 'release.pub'}")
    news = make_news(DEMO / "news")
    (site / "releases").mkdir(parents=True, exist_ok=True)
    publish_objects(site, DEMO / "game-files", "--out", site / "releases" / "0001",
                    "--version", "1.0.0", "--counter", "1", "--announce", news / "announce.txt",
                    "--updates", news / "updates.txt", "--stage", news / "stage.jpg")


def publish_next(site, keys):
    """Publishes the next release over the live one: the same files but for a few scattered 4 KiB
    blocks of world.pak, so the patcher fetches those chunks and copies the rest from its copy,
    and new quest text, which it fetches compressed."""
    live = site / "live"
    game = DEMO / "next-files"
    shutil.rmtree(game, ignore_errors=True)
    manifest = (live / "manifest.txt").read_text().splitlines()
    for line in manifest:  # the live release's game, rebuilt from its objects
        if line.startswith("file "):
            _, path, _, sha256, _ = line.split()
            (game / path).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(site / "objects" / sha256[:2] / sha256, game / path)
    pak = game / "data" / "world.pak"
    data = bytearray(pak.read_bytes())
    counter = next(line.split()[1] for line in manifest if line.startswith("counter "))
    scatter = random.Random(int(counter))
    for _ in range(8):
        at = scatter.randrange(len(data) - 4096)
        data[at:at + 4096] = scatter.randbytes(4096)
    pak.write_bytes(data)
    (game / "data" / "quests.txt").write_bytes(quest_text(int(counter) + 1))
    version = f"1.0.{counter}"
    news = DEMO / "news"
    out = site / "releases" / f"{int(counter) + 1:04d}"
    shutil.rmtree(out, ignore_errors=True)  # an interrupted demo's, never served
    publish_objects(site, game, "--out", out, "--version", version, "--previous", live.resolve(),
                    "--announce", news / "announce.txt", "--updates", news / "updates.txt",
                    "--stage", news / "stage.jpg")
    say(f"8 blocks of 4 KiB changed in data/world.pak ({len(data)} bytes), which is served with "
        "its chunk index, and data/quests.txt is new text, served as its compressed form")
    return version


def run_patcher(command, keys, *extra):
    folder = DEMO / "patcher"
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy2(PATCHER, folder / "Velmor2Launcher.exe")
    root_key = (keys / "root.pub").read_text().strip()
    env = dict(os.environ, GARUN2_WINEPREFIX=str(WINE_PREFIX))
    args = ["--headless", command, "--base-url", BASE_URL,
            "--data-dir", windows_path(folder / "data"),
            "--install-dir", windows_path(folder / "game"), "--root-key-b64", root_key, *extra]
    say(f"running: Velmor2Launcher.exe {' '.join(args[:2] + list(extra))} ({WINE_NAME}) against "
        f"{BASE_URL}")
    done = subprocess.run([str(WINE_RUN), str(folder / "Velmor2Launcher.exe"), *args],
                          capture_output=True, env=env, timeout=600)
    report = done.stdout.decode("utf-8", "replace")
    for line in report.splitlines():
        print("    " + line)
    return done.returncode, report_fields(report)


def show_window(keys):
    """Opens the patcher's window on the demo release, lets it download and verify on its own until
    it offers "OYNA" (amber button, green dot), keeps a screenshot and closes the window."""
    folder = DEMO / "patcher"
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy2(PATCHER, folder / "Velmor2Launcher.exe")
    display = window_driver.ensure_display()
    env = dict(os.environ, GARUN2_WINEPREFIX=str(WINE_PREFIX))
    say(f"opening the patcher's window on display {display}; it installs and verifies the release "
        "by itself")
    process = subprocess.Popen(
        [str(WINE_RUN), str(folder / "Velmor2Launcher.exe"), "--base-url", BASE_URL,
         "--data-dir", windows_path(folder / "data"), "--install-dir", windows_path(folder / "game"),
         "--root-key-b64", (keys / "root.pub").read_text().strip()],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    try:
        window = window_driver.PatcherWindow.wait(timeout=120)
        window.wait_look(window_driver.GREEN, window_driver.AMBER, timeout=300)
        shot = window.save("window", folder=DEMO)
        window.click_close()
        process.wait(timeout=60)
        return shot
    except AssertionError as failure:
        say(f"the window did not reach OYNA: {failure}")
        return None
    finally:
        if process.poll() is None:
            process.kill()


def launch_game():
    """Starts the installed game as the patcher's window will: through LaunchGame, with the key
    channel on its standard input and output and keys from a key service (here a local one)."""
    folder = DEMO / "patcher"
    shutil.copy2(LAUNCHER, folder / "demo_launch.exe")
    (DEMO / "key-service").mkdir(exist_ok=True)
    env = dict(os.environ, GARUN2_WINEPREFIX=str(WINE_PREFIX))
    with ReleaseServer(DEMO / "key-service") as service:
        service.set_fault("/key", Fault.minted_key())
        say(f"a local key service issues a fresh key for every POST to {service.url('/key')}")
        say(f"running: demo_launch.exe (LaunchGame with the key channel, {WINE_NAME}) on the "
            "installed game")
        done = subprocess.run([str(WINE_RUN), str(folder / "demo_launch.exe"), "--install-dir",
                               windows_path(folder / "game"), "--key-service", service.url("/")],
                              capture_output=True, env=env, timeout=300)
        requests = len(service.posts)
    report = done.stdout.decode("utf-8", "replace")
    for line in report.splitlines():
        print("    " + line)
    return report_fields(report), requests


def main():
    keys = DEMO / "keys"
    make_keys(keys)
    publish(DEMO / "site", keys)
    with StaticServer(DEMO / "site", DEMO / "nginx", PORT, BASE_URL + "/keys.txt"):
        say(f"nginx serves {DEMO / 'site'} over HTTPS at {BASE_URL}")
        shot = show_window(keys)
        if shot is None:
            return 1
        say(f"screenshot of the window, ready to play: {shot}")
        code, update = run_patcher("--update", keys)
        if code != 0 or update.get("DOWNLOAD_CODE") != "0":
            say(f"the update failed (exit code {code}); support log: "
                f"{DEMO / 'patcher' / 'patcher.log'}")
            return 1
        fetched = int(update.get("DOWNLOAD_COUNT", "0"))
        next_version = publish_next(DEMO / "site", keys)
        code, update = run_patcher("--update", keys)
        if code != 0 or update.get("DOWNLOAD_CODE") != "0" or update.get("VERSION") != next_version:
            say(f"the update to {next_version} failed (exit code {code}); support log: "
                f"{DEMO / 'patcher' / 'patcher.log'}")
            return 1
        say(f"release {next_version}: the patcher fetched {update.get('DOWNLOAD_BYTES_FETCHED')} "
            f"bytes (chunk index and compressed form included) and copied {update.get('DOWNLOAD_BYTES_REUSED')} bytes "
            f"from the copy it had, for {update.get('DOWNLOAD_BYTES')} bytes of changed files "
            "installed")
        code, check = run_patcher("--check", keys, "--level", "full")
        _, news = run_patcher("--news", keys)
    say(f"support log: {DEMO / 'patcher' / 'patcher.log'}; web server log: "
        f"{DEMO / 'nginx' / 'access.log'}")
    if code != 0 or check.get("DOWNLOAD_COUNT") != "0" or check.get("MAY_LAUNCH") != "yes":
        say("the installed game does not verify against the release")
        return 1
    say(f"news: {news.get('NEWS_ANNOUNCE_ITEMS', '0')} announcement(s), "
        f"{news.get('NEWS_UPDATES_ITEMS', '0')} change note(s), stage art of "
        f"{news.get('STAGE_BYTES', '0')} bytes, each verified with the release signing key")
    if fetched:
        say(f"release {check['VERSION']} installed into {DEMO / 'patcher' / 'game'}: {fetched} "
            f"file(s), every one verified by size and SHA-256")
    else:
        say(f"release {check['VERSION']}: the window installed it, so the headless update found "
            "nothing to download")
    launch, requests = launch_game()
    log = (DEMO / "patcher" / "patcher.log").read_text(encoding="utf-8", errors="replace")
    launched = [line[21:] for line in log.splitlines() if line[21:].startswith("launch: ")]
    if launched:
        say(f"support log: {launched[-1]}")
    say(f"the game received {launch.get('KEYS_SENT', '0')} key(s) over its pipe (the key service "
        f"answered {requests} request(s)) and exited with code {launch.get('GAME_EXIT', '?')} "
        "(42: both answers were keys)")
    return 0 if launch.get("GAME_EXIT") == "42" else 1


if __name__ == "__main__":
    sys.exit(main())
