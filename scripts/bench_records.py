#!/usr/bin/env python3
"""What a start check of an unchanged install costs with the verified-file records, in one run;
called by scripts/bench-records.sh after the builds.

A release of 2 GiB in 500 files (bench_tree's log-uniform sizes) and a release of one 1-byte file
are published with the operator tool and served by nginx; the shipped 32-bit exe (the win64
build with --build win64) checks each with `--headless --check`, the check the window runs as it
opens, against the published folder itself. Printed:
  - the bytes each check read, from /proc/PID/io (rchar: every read the Wine process made,
    its own files and the wineserver's socket included), for the first check (no records yet:
    every file hashed), the next ones (records), a repair (`--level full`: every file hashed)
    and a check after three files were rewritten (only they are hashed);
  - the medians of wall time, CPU and peak (GNU time) of the check with records and of the check
    of the one-file release, run in turns, and their ratio.

Usage: bench_records.py [--keep DIR] [--build win32|win64] [--runs N]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from functools import partial
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import bench_patcher as bp  # noqa: E402
from bench_tree import make_tree  # noqa: E402
from static_server import StaticServer  # noqa: E402

MIB = 1 << 20


def read_bytes_of(command):
    """Runs `command` (which execs into the Wine process) and answers (exit code, its rchar)."""
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    seen = 0
    while process.poll() is None:
        try:
            with open(f"/proc/{process.pid}/io") as io:
                for line in io:
                    if line.startswith("rchar:"):
                        seen = max(seen, int(line.split()[1]))
        except (FileNotFoundError, ProcessLookupError, PermissionError):
            pass
        time.sleep(0.005)
    return process.returncode, seen


def log_lines(data, needle):
    log = data.parent / "patcher.log"
    text = log.read_text(errors="replace") if log.exists() else ""
    return [line for line in text.splitlines() if needle in line]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keep", metavar="DIR", help="make everything in DIR and keep it")
    parser.add_argument("--build", choices=("win32", "win64"), default="win32")
    parser.add_argument("--runs", type=int, default=7)
    options = parser.parse_args()
    work = Path(options.keep or tempfile.mkdtemp(prefix="garun2-bench-records-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    work.chmod(0o755)
    wineserver = bp.BUILDS[options.build][0]
    prefix = work / f"prefix-{options.build}"
    try:
        big, big_paths = bp.publish(work, "check", partial(make_tree, count=500, total=2048 * MIB),
                                    "500 2048")
        small, _ = bp.publish(work, "empty", partial(make_tree, count=1, total=1), "1 1")
        folder = work / options.build
        folder.mkdir(exist_ok=True)
        exe = folder / "Velmor2Launcher.exe"
        shutil.copy2(ROOT / "build" / options.build / "app" / "Velmor2Launcher.exe", exe)
        root_key = (work / "keys" / "root.pub").read_text().strip()

        def check(release, game, *extra):
            data = folder / f"{release}-data"
            return ["env", f"GARUN2_WINEPREFIX={prefix}", str(bp.WINE_RUN), str(exe),
                    "--headless", "--check", "--base-url",
                    f"https://127.0.0.1:{bp.PORT}/{release}", "--data-dir", bp.windows_path(data),
                    "--install-dir", bp.windows_path(game), "--root-key-b64", root_key, *extra]

        (work / "site" / "probe.txt").write_text("up\n")
        with StaticServer(work / "site", work / "nginx", bp.PORT,
                          f"https://127.0.0.1:{bp.PORT}/probe.txt"):
            noop = ["env", f"GARUN2_WINEPREFIX={prefix}", str(bp.WINE_RUN), str(exe), "--headless",
                    "--self-test", "noop"]
            subprocess.run(noop, check=True, stdout=subprocess.DEVNULL)
            subprocess.Popen([wineserver, "-p"], env=dict(os.environ, WINEPREFIX=str(prefix)))
            for data in (folder / "check-data", folder / "empty-data"):
                shutil.rmtree(data, ignore_errors=True)
            total = sum(os.path.getsize(p) for p in big_paths)
            rows = [("first check, no records", read_bytes_of(check("check", big)))]
            rows += [(f"check {i + 2}, records", read_bytes_of(check("check", big)))
                     for i in range(2)]
            rows.append(("repair, --level full", read_bytes_of(check("check", big, "--level",
                                                                     "full"))))
            for path in big_paths[:3]:
                with open(path, "r+b") as changed:
                    first = changed.read(1)
                    changed.seek(0)
                    changed.write(first)  # the same bytes, a new last-write time
            rows.append(("after 3 files were rewritten", read_bytes_of(check("check", big))))
            rows.append(("one-file release", read_bytes_of(check("empty", small))))
            print(f"\n{options.build}: install of {len(big_paths)} files, {total:,} bytes\n")
            print("| check | exit | bytes read (rchar) |\n|---|---:|---:|")
            for name, (code, read) in rows:
                print(f"| {name} | {code} | {read:,} |")
            print("\nsupport log:")
            for line in log_lines(folder / "check-data", "taken as verified"):
                print("  " + line)
            medians = bp.time_in_turns({"records": check("check", big),
                                        "one-file": check("empty", small)}, options.runs)
            print("\nin turns (medians: wall s, CPU s, peak MiB)")
            for name, (wall, cpu, peak) in medians.items():
                print(f"  {name:<10} {wall:8.2f} {cpu:8.2f} {peak:8.0f}")
            got, floor = medians["records"], medians["one-file"]
            print(f"  records / one-file: wall {got[0] / floor[0]:.2f}x, CPU "
                  f"{got[1] / floor[1]:.2f}x")
    finally:
        if prefix.exists():
            subprocess.run([wineserver, "-k"], env=dict(os.environ, WINEPREFIX=str(prefix)),
                           capture_output=True)
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
