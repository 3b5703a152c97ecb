#!/usr/bin/env python3
"""What a release of 100,000 small files costs, in one run; called by scripts/bench-shards.sh after
the builds.

The game (100,000 files of 32 to 512 bytes in 1,000 folders, and the patcher's own exe) is
published with the operator tool into an objects folder, so both releases name the same
addresses for the same files, and the tool shards its manifest; nginx with our configuration serves
it. Printed, each as the median of --runs runs where a run can be repeated (wall
seconds, CPU seconds, peak resident MiB of the largest process, from GNU time):
  - the tool's publish and validate of the release;
  - the shipped 32-bit exe (the 64-bit build with --build win64): `--headless --update` into an
    empty folder, `--headless --check` of the up-to-date install (the check the window runs as it
    opens), and `--headless --update` after one file of the next release changed;
  - the bytes each of those fetched from nginx (its access log's $bytes_sent), metadata and shards
    apart from game files;
  - the window's start check of the up-to-date install under Xvfb: from the start of the process
    (Wine's start included) to the check's summary line in the support log, beside
    `--headless --self-test noop` (Wine's start alone).

Usage: bench_shards.py [--keep DIR] [--build win32|win64] [--files N] [--runs N]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import bench_patcher as bp  # noqa: E402
import window_driver as wd  # noqa: E402
from static_server import StaticServer  # noqa: E402


def make_game(game, count, exe):
    rng = random.Random(41)
    shutil.rmtree(game, ignore_errors=True)
    for i in range(count):
        path = game / "data" / f"f{i % 1000:03}" / f"item{i:06}.dat"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(rng.randbytes(rng.randrange(32, 513)))
    shutil.copy2(exe, game / "Velmor2Launcher.exe")


def publish(work, name, game, counter, previous=None):
    release = work / "site" / name
    shutil.rmtree(release, ignore_errors=True)
    release.parent.mkdir(parents=True, exist_ok=True)
    keys = bp.make_keys(work)
    args = ["publish", "--out", release, "--game", game, "--keys", keys / "keys.txt",
            "--key", keys / "release.pem", "--root-key-file", keys / "root.pub",
            "--base-url", f"https://127.0.0.1:{bp.PORT}/{name}", "--version", f"1.0.{counter}",
            "--channel", "bench", "--counter", str(counter), "--expires", bp.EXPIRES,
            "--objects", work / "site" / "objects",
            "--objects-url", f"https://127.0.0.1:{bp.PORT}/objects"]
    if previous:
        args += ["--previous", previous]
    return bp.run([str(bp.TOOL), *map(str, args)]), release


def served_bytes(access_log, since):
    """Bytes nginx sent since line `since` of its log: (metadata and shards, game files as objects)."""
    metadata = files = 0
    lines = access_log.read_text().splitlines()[since:]
    for line in lines:
        uri, sent = line.rsplit(" ", 1)
        if "/objects/" in uri:
            files += int(sent)
        else:
            metadata += int(sent)
    return metadata, files


def window_start_check(command, log, timeout=120):
    """Seconds from the window's start to its check's summary line in the support log."""
    seen = log.read_text(errors="replace").count("check: code=") if log.exists() else 0
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while time.perf_counter() - start < timeout:
            if log.exists() and log.read_text(errors="replace").count("check: code=") > seen:
                return time.perf_counter() - start
            time.sleep(0.02)
        sys.exit("bench: the window's check did not end")
    finally:
        process.kill()
        process.wait()


def median_run(command, runs):
    got = [bp.run(command) for _ in range(runs)]
    return [statistics.median(r[i] for r in got) for i in range(3)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keep", metavar="DIR", help="make everything in DIR and keep it")
    parser.add_argument("--build", choices=("win32", "win64"), default="win32")
    parser.add_argument("--files", type=int, default=100000)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    work = Path(options.keep or tempfile.mkdtemp(prefix="garun2-bench-shards-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    work.chmod(0o755)
    wineserver = bp.BUILDS[options.build][0]
    prefix = work / f"prefix-{options.build}"
    folder = work / options.build
    folder.mkdir(exist_ok=True)
    exe = folder / "Velmor2Launcher.exe"
    shutil.copy2(ROOT / "build" / options.build / "app" / "Velmor2Launcher.exe", exe)
    rows = []
    # Before any Wine process: the prefix's desktop takes the display its first program had.
    wd.ensure_display(private=True)
    try:
        game = work / "game-source"
        make_game(game, options.files, exe)
        publish_figures, first = publish(work, "r1", game, 1)
        rows.append(("tool: publish", publish_figures, ""))
        manifest = first / "manifest.txt"
        shards = len(list((first / "shards").glob("*.txt"))) if (first / "shards").exists() else 0
        validate = [str(bp.TOOL), "validate", "--manifest", str(manifest), "--keys",
                    str(first / "keys.txt"), "--root-key-file", str(work / "keys" / "root.pub"),
                    "--objects", str(work / "site" / "objects")]
        rows.append(("tool: validate --objects", median_run(validate, options.runs), ""))
        changed = sorted((game / "data" / "f500").iterdir())[7]
        changed.write_bytes(b"the next release's bytes")
        second_figures, _ = publish(work, "r2", game, 2, previous=first)
        rows.append(("tool: publish, one file changed, --previous", second_figures, ""))

        root_key = (work / "keys" / "root.pub").read_text().strip()
        data, install = folder / "data", folder / "game"
        wine = ["env", f"GARUN2_WINEPREFIX={prefix}", str(bp.WINE_RUN), str(exe)]

        def headless(command, release):
            return [*wine, "--headless", command, "--base-url",
                    f"https://127.0.0.1:{bp.PORT}/{release}", "--data-dir", bp.windows_path(data),
                    "--install-dir", bp.windows_path(install), "--root-key-b64", root_key]

        (work / "site" / "probe.txt").write_text("up\n")
        access = work / "nginx" / "access.log"
        with StaticServer(work / "site", work / "nginx", bp.PORT,
                          f"https://127.0.0.1:{bp.PORT}/probe.txt",
                          log_format="$request_uri $bytes_sent"):
            subprocess.run([*wine, "--headless", "--self-test", "noop"], check=True,
                           stdout=subprocess.DEVNULL)
            subprocess.Popen([wineserver, "-p"], env=dict(os.environ, WINEPREFIX=str(prefix)))
            shutil.rmtree(data, ignore_errors=True)
            shutil.rmtree(install, ignore_errors=True)

            def measured(name, command, runs=1):
                since = len(access.read_text().splitlines()) if access.exists() else 0
                figures = median_run(command, runs)
                metadata, files = served_bytes(access, since)
                per_run = f"{metadata // runs:,} metadata and shards, {files // runs:,} files"
                rows.append((name, figures, per_run))

            measured("patcher: --update into an empty folder", headless("--update", "r1"))
            measured("patcher: --check, up to date", headless("--check", "r1"), options.runs)
            measured("patcher: --update to r2 (one file changed)", headless("--update", "r2"))
            measured("patcher: --self-test noop (Wine's start)",
                     [*wine, "--headless", "--self-test", "noop"], options.runs)
            window = [*wine, "--base-url", f"https://127.0.0.1:{bp.PORT}/r2", "--data-dir",
                      bp.windows_path(data), "--install-dir", bp.windows_path(install),
                      "--root-key-b64", root_key]
            starts = [window_start_check(window, folder / "patcher.log")
                      for _ in range(options.runs)]
        print(f"\n{options.build}: {options.files:,} files and the patcher exe; the manifest is "
              f"{manifest.stat().st_size:,} bytes with {shards} shards\n")
        print("| run | wall s | CPU s | peak MiB | bytes served |\n|---|---:|---:|---:|---|")
        for name, (wall, cpu, peak), served in rows:
            print(f"| {name} | {wall:.2f} | {cpu:.2f} | {peak:.0f} | {served} |")
        print(f"| window: start to the end of its check, up to date | "
              f"{statistics.median(starts):.2f} | | | (runs: "
              f"{', '.join(f'{s:.2f}' for s in starts)}) |")
        log = (folder / "patcher.log").read_text(errors="replace").splitlines()
        print("\nsupport log:")
        for line in log:
            if "shard(s)" in line or "taken as verified" in line:
                print("  " + line)
    finally:
        if prefix.exists():
            subprocess.run([wineserver, "-k"], env=dict(os.environ, WINEPREFIX=str(prefix)),
                           capture_output=True)
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
