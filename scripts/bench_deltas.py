#!/usr/bin/env python3
"""What the patcher's update of a rebuilt binary costs with the publisher's deltas, against zstd,
xdelta3, zchunk and zsync on the same pair, in one run; called by scripts/bench-deltas.sh after the
builds.

The pairs are real consecutive builds of large files from Debian's archive: two versions of a
package, one from bookworm and one from bookworm-security, fetched with `apt-get download` into
/var/cache/garun2-bench-debs (kept, so a second run fetches nothing). For each pair the old file is
published with the operator tool as release 1 (its objects in a shared objects folder) and
installed with `--headless --update` into an empty folder; the new file is published as release 2
with `--previous`, which writes the delta from release 1's object; then a copy of the install is
updated to release 2 three ways:
  delta    as published: the patcher fetches the delta and decodes it,
  chunked  with deltas.txt left out, as when the old copy is none of the last K releases: the
           chunk path of the patcher from before deltas,
and nginx counts every body byte under objects/. Beside them: `zstd -19 --long=28 --patch-from`,
`xdelta3 -e -9`, what zchunk would download (`zck_delta_size`) and zsync with 8 KiB blocks from
the same nginx. Every result is checked against the new file. The publish of release 2 is timed
with and without deltas (`--delta-releases 0`), with its peak memory.

With --exe EXE another build runs the updates: the shipped 32-bit exe (build/win32) runs under
32-bit Wine, which shows that its decoder holds a 123 MiB old copy and window in its address space.

Usage: bench_deltas.py [--keep DIR] [--pairs NAME,...] [--exe EXE]
"""
import argparse
import hashlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import bench_chunked as bc  # noqa: E402
from bench_patcher import EXPIRES, TOOL, make_keys  # noqa: E402
from static_server import StaticServer  # noqa: E402

CACHE = Path("/var/cache/garun2-bench-debs")
# name: (package, old version, new version, the file in the package)
PAIRS = {
    "jdk-modules": ("openjdk-17-jre-headless", "17.0.19+10-1~deb12u2", "17.0.21.1+2-1~deb12u1",
                    "usr/lib/jvm/java-17-openjdk-amd64/lib/modules"),
    "libjvm": ("openjdk-17-jre-headless", "17.0.19+10-1~deb12u2", "17.0.21.1+2-1~deb12u1",
               "usr/lib/jvm/java-17-openjdk-amd64/lib/server/libjvm.so"),
    "libmergedlo": ("libreoffice-core", "4:7.4.7-1+deb12u13", "4:7.4.7-1+deb12u14",
                    "usr/lib/libreoffice/program/libmergedlo.so"),
    "libnode": ("libnode108", "18.20.4+dfsg-1~deb12u2", "18.20.4+dfsg-1~deb12u3",
                "usr/lib/x86_64-linux-gnu/libnode.so.108"),
    # A rebuild that changed next to nothing.
    "webkit2gtk": ("libwebkit2gtk-4.1-0", "2.50.6-1~deb12u1", "2.50.6-1~deb12u2",
                   "usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0.19.9"),
}


def fetch_file(work, package, version, member):
    """The bytes of `member` in the package's .deb of this version."""
    CACHE.mkdir(parents=True, exist_ok=True)
    # The file name spells an epoch "4%3a".
    pattern = f"{package}_*{version.split(':')[-1]}_*.deb"
    debs = list(CACHE.glob(pattern))
    if not debs:
        subprocess.run(["apt-get", "download", "-q", f"{package}={version}"], cwd=CACHE,
                       check=True, capture_output=True)
        debs = list(CACHE.glob(pattern))
    folder = work / "debs" / f"{package}_{version}"
    if not folder.is_dir():
        folder.mkdir(parents=True)
        subprocess.run(["dpkg-deb", "-x", str(debs[0]), str(folder)], check=True)
    return (folder / member).read_bytes()


def publish_timed(work, name, pack, previous, *extra):
    """bc.publish with the operator tool's wall time and peak MiB; extra options go to publish."""
    usage = work / f"publish-{name.replace('/', '-')}.time"
    real = bc.tool
    def timed(*args):
        start = time.perf_counter()
        command = ["/usr/bin/time", "-f", "%M", "-o", str(usage), str(TOOL), *map(str, args),
                   *extra]
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            sys.exit(f"bench: publish exits {done.returncode}:\n{done.stdout}{done.stderr}")
        timed.wall = time.perf_counter() - start
        timed.report = done.stdout
    bc.tool = timed
    try:
        bc.publish(work, name, pack, previous=previous)
    finally:
        bc.tool = real
    peak = int(usage.read_text().split()[-1]) / 1024
    return timed.wall, peak, timed.report


def is_pe32(exe):
    data = exe.read_bytes()[:4096]
    at = int.from_bytes(data[60:64], "little")
    return data[at + 24:at + 26] == b"\x0b\x01"


def field(report, key):
    for line in report.splitlines():
        if line.startswith(key + ": "):
            return line[len(key) + 2:]
    return "?"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keep", metavar="DIR", help="make everything in DIR and keep it")
    parser.add_argument("--pairs", default=",".join(PAIRS),
                        help=f"which pairs, comma-separated (default {','.join(PAIRS)})")
    parser.add_argument("--exe", type=Path, default=bc.EXE,
                        help="the patcher that updates (default the win64 build)")
    options = parser.parse_args()
    names = options.pairs.split(",")
    for name in names:
        if name not in PAIRS:
            parser.error(f"unknown pair {name}; known: {', '.join(PAIRS)}")
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    work = Path(options.keep or tempfile.mkdtemp(prefix="garun2-bench-deltas-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    work.chmod(0o755)
    make_keys(work)
    patcher = None
    rows = []
    try:
        patcher = bc.Patcher(work, exe=options.exe.resolve())
        if is_pe32(options.exe):
            bc.WINESERVER = "/usr/lib/wine/wineserver32"
            patcher.prefix = work / "prefix-win32"
            patcher.environment["GARUN2_WINEPREFIX"] = str(patcher.prefix)
        patcher.start()
        (work / "site").mkdir(exist_ok=True)
        (work / "site" / "probe.txt").write_text("up\n")
        with StaticServer(work / "site", work / "nginx", bc.PORT,
                          f"https://127.0.0.1:{bc.PORT}/probe.txt", plain_port=bc.PLAIN_PORT,
                          log_format=bc.LOG_FORMAT):
            access = bc.AccessLog(work / "nginx" / "access.log")
            for name in names:
                package, old_version, new_version, member = PAIRS[name]
                old = fetch_file(work, package, old_version, member)
                new = fetch_file(work, package, new_version, member)
                new_hash = hashlib.sha256(new).hexdigest()
                old_path, _ = bc.publish(work, f"{name}/r1", old)
                install = patcher.folder(f"{name}-install")
                done, _ = patcher.update(install, f"{name}/r1")
                if done.code != 0:
                    sys.exit(f"bench: the install of {name} release 1 failed:\n{done.stdout}")
                # Each pair has a folder of releases of its own, so that its deltas come from its own.
                previous = work / "site" / name / "r1"
                plain_wall, plain_peak, _ = publish_timed(work, f"{name}-nodelta/r2", new, previous,
                                                          "--delta-releases", "0")
                # The publish with deltas stores the new object, its index and form again.
                for stored in (work / "site" / "objects" / new_hash[:2]).glob(new_hash + "*"):
                    stored.unlink()
                wall, peak, report = publish_timed(work, f"{name}/r2", new, previous)
                new_path = work / "games" / name / "r2" / bc.PACK
                new_object = work / "site" / "objects" / bc.object_path(new_hash)
                delta = bc.update_case(patcher, access, install, f"{name}-delta", f"{name}/r2",
                                       new_hash)
                delta["usage"] = patcher.usage
                listing = work / "site" / name / "r2" / "deltas.txt"
                kept = listing.read_bytes()
                listing.write_bytes(b"")
                chunked = bc.update_case(patcher, access, install, f"{name}-chunked",
                                         f"{name}/r2", new_hash)
                chunked["usage"] = patcher.usage
                listing.write_bytes(kept)
                zsync = bc.zsync_case(work, access, name, old_path, new_object, new_hash)
                zck = bc.zck_case(work, name, old_path, new_path, new_hash)
                tools = bc.delta_case(work, name, old_path, new_path, new_hash)
                rows.append((name, len(old), len(new), delta, chunked, zsync, zck, tools,
                             (wall, peak, plain_wall, plain_peak, field(report, "DELTAS_ADDED"),
                              field(report, "DELTAS_ADDED_BYTES"))))
                shutil.rmtree(work / "debs", ignore_errors=True)
                print(f"{name} done", flush=True)
    except KeyboardInterrupt:
        print("bench: interrupted", file=sys.stderr)
        return 130
    finally:
        if patcher:
            patcher.stop()
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)

    failed = False
    print("\n| pair | old → new bytes | patcher, delta (server-counted) | zstd --patch-from | "
          "patcher / zstd | xdelta3 -e | zchunk download | zsync fetched | patcher, chunk path |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for name, old_size, new_size, delta, chunked, zsync, zck, tools, _ in rows:
        zstd = tools["zstd"][0]
        got = delta["files"][0]
        ok = delta["code"] == 0 and delta["equal"] and chunked["code"] == 0 and chunked["equal"]
        failed |= not ok
        print(f"| {name} | {old_size:,} → {new_size:,} | {got:,} | {zstd:,} | {got / zstd:.3f} | "
              f"{tools['xdelta3'][0]:,} | {zck['download']:,} | {zsync['sent'][0]:,} | "
              f"{chunked['files'][0]:,} |" + ("" if ok else " FAILED"))
    print("\n| pair | publish with deltas: s, peak MiB | without: s, peak MiB | DELTAS_ADDED "
          "(bytes) | delta update: wall s, CPU s, peak MiB | chunk-path update: wall s, CPU s, peak MiB |")
    print("|---|---:|---:|---:|---:|---:|")
    for name, _, _, delta, chunked, _, _, _, publish in rows:
        wall, peak, plain_wall, plain_peak, added, added_bytes = publish
        print(f"| {name} | {wall:.1f}, {peak:.0f} | {plain_wall:.1f}, {plain_peak:.0f} | "
              f"{added} ({added_bytes}) | {delta['wall']:.2f}, {delta['usage'][0]:.2f}, "
              f"{delta['usage'][1]:.0f} | {chunked['wall']:.2f}, {chunked['usage'][0]:.2f}, "
              f"{chunked['usage'][1]:.0f} |")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
