#!/usr/bin/env python3
"""What an update of one large file costs when the patcher holds the old copy, against zsync,
zchunk, xdelta3 and zstd on the same files, in one run; called by scripts/bench-chunked.sh after
the builds.

A pack (64 MiB by default) of random bytes (--data random, the default) or of text-like words that
zstd -19 shrinks to about a third (--data text) is published with the operator tool as release 1,
its objects in a shared objects folder with their chunk indexes and compressed forms (the tool
writes a form only where zstd saves 5 %, so random data has none), and installed with
`--headless --update` into an empty folder. Each case then publishes release 2, made from release
1's pack changed in one way with bytes of the same kind, and updates a copy of that install to it:
  a  100 scattered 4 KiB overwrites,
  b  1 MiB inserted in the middle,
  c  5 % of the pack's size appended.
Every byte is counted by nginx, our configuration with an access log of its own, as a production
server would count it: the body bytes of the requests under objects/ (the pack's ranges, its chunk
index and its form's frames) apart from the signed metadata and forms.txt. Beside it: the same
update into a copy whose pack was deleted (the whole file, for the wall time), `zsync -i old` with
a control file of 8 KiB blocks from the same nginx over plain HTTP (zsync has no TLS; its control
file is counted), what zchunk would download (`zck_delta_size` of both packs made with `zck`, which
counts the new file's header; zchunk's chunks are zstd-compressed, so it is the yardstick for text),
and the delta sizes of `xdelta3 -e -9` and `zstd -19 --long=28 --patch-from`. Every result is
checked: the installed or rebuilt file must equal release 2's, and each delta, and the new .zck
file, must decode to it.

With --rate RATE (nginx's limit_rate syntax, bytes a second: 20m is 20 MiB/s, about 168 Mbit/s)
nginx sends each response no faster, as a real line would: on loopback bytes cost next to nothing,
so the update's wall time against the whole file's says little without it.

With --keep DIR everything is made in DIR and kept; otherwise in a temporary folder removed at the
end. Under --keep each case also gets two scripts for another timer, DIR/commands/CASE-chunked.sh
and CASE-whole.sh: each restores the release-1 install into a scratch folder of its own and updates
it to the case's release, the first from the old copy, the second with the pack deleted first; each
exits non-zero unless the patcher exits 0, reports release 2 from the network with its one file
fetched and DOWNLOAD_CODE 0, and leaves a pack of release 2's size. They need this run's nginx and
Wine server: with --serve both stay up after the tables until Ctrl-C or SIGTERM. nginx and the
Wine server are stopped at the end, on Ctrl-C and on SIGTERM too.

Usage: bench_chunked.py [--keep DIR [--serve]] [--rate RATE] [--mib N] [--cases abc]
                        [--data random|text]
"""
import argparse
import hashlib
import os
import random
import re
import shlex
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
from bench_patcher import EXPIRES, TOOL, WINE_RUN, make_keys, tool, windows_path  # noqa: E402
from bench_tree import text_bytes  # noqa: E402
from patcher_run import Run  # noqa: E402  (the report's KEY: value fields)
from static_server import StaticServer  # noqa: E402

# Fixed: the manifests name every file's address. Not bench_patcher's, so both can run.
PORT = 47563
PLAIN_PORT = 47564
WINESERVER = "/usr/lib/wine/wineserver64"
EXE = ROOT / "build" / "win64" / "app" / "Velmor2Launcher.exe"
PACK = "data/pack.bin"
MIB = 1 << 20
SEED = 20261208
# Tab-separated: nginx escapes tabs inside $request, so the fields split cleanly.
LOG_FORMAT = r"$server_port\t$status\t$body_bytes_sent\t$request\t$http_range"
CASES = {
    "a": "100 scattered 4 KiB overwrites",
    "b": "1 MiB inserted in the middle",
    "c": "5 % appended",
}


def make_bytes(rng, size, data):
    return text_bytes(rng, size) if data == "text" else rng.randbytes(size)


def make_new(old, case, data):
    """Release 2's pack for `case`, from release 1's; every case draws from a seed of its own."""
    rng = random.Random(f"{SEED}-{case}")
    if case == "a":
        new = bytearray(old)
        for _ in range(100):
            at = rng.randrange(len(old) - 4096 + 1)
            new[at:at + 4096] = make_bytes(rng, 4096, data)
        return bytes(new)
    if case == "b":
        middle = len(old) // 2
        return old[:middle] + make_bytes(rng, MIB, data) + old[middle:]
    return old + make_bytes(rng, len(old) * 5 // 100, data)


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        while block := data.read(8 * MIB):
            digest.update(block)
    return digest.hexdigest()


def object_path(sha):
    """Where the tool stores an object, below the objects folder or URL."""
    return f"{sha[:2]}/{sha}"


def publish(work, name, pack, previous=None, port=PORT):
    """Publishes a game of the one file `pack` as the release at /name, its objects in the shared
    work/site/objects, served from work/site; answers the game's copy of the pack and its object."""
    game = work / "games" / name
    target = game / PACK
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_bytes(pack)
    keys = make_keys(work)
    release = work / "site" / name
    shutil.rmtree(release, ignore_errors=True)
    release.parent.mkdir(parents=True, exist_ok=True)
    order = ["--previous", previous] if previous else ["--counter", "1"]
    tool("publish", "--out", release, "--game", game, "--keys", keys / "keys.txt",
         "--key", keys / "release.pem", "--root-key-file", keys / "root.pub",
         "--base-url", f"https://127.0.0.1:{port}/{name}", "--version", "1.0.0" if not previous
         else "2.0.0", "--channel", "bench", *order, "--expires", EXPIRES,
         "--objects", work / "site" / "objects",
         "--objects-url", f"https://127.0.0.1:{port}/objects")
    stored = work / "site" / "objects" / object_path(hashlib.sha256(pack).hexdigest())
    if not Path(f"{stored}.chunks").is_file():
        sys.exit(f"bench: the release at {release} has no chunk index beside {stored}")
    return target, stored


class AccessLog:
    """The requests nginx logged since the last call."""

    def __init__(self, path):
        self.path, self.offset = path, 0

    def mark(self):
        self.offset = self.path.stat().st_size if self.path.exists() else 0

    def since(self):
        with open(self.path, "rb") as log:
            log.seek(self.offset)
            text = log.read().decode("utf-8", "replace")
        self.offset += len(text.encode())
        requests = []
        for line in text.splitlines():
            port, status, sent, request, ranges = line.split("\t")
            requests.append((int(port), status, int(sent), request, ranges))
        return requests, text


def sent(requests, port, objects=None, suffix=None):
    """Body bytes and request count on `port`; with `objects`, only under (True) or outside
    objects/; with `suffix`, only of names that end with it."""
    picked = [r for r in requests if r[0] == port and
              (objects is None or r[3].split(" ")[1].startswith("/objects/") == objects) and
              (suffix is None or r[3].split(" ")[1].endswith(suffix))]
    return sum(r[2] for r in picked), len(picked)


class Patcher:
    """Runs of the 64-bit patcher in folders of their own, all in one Wine prefix kept warm."""

    def __init__(self, work, exe=EXE, port=PORT):
        self.work, self.prefix, self.exe, self.port = work, work / "prefix-win64", exe, port
        self.root_key = (work / "keys" / "root.pub").read_text().strip()
        self.environment = dict(os.environ, GARUN2_WINEPREFIX=str(self.prefix))
        self.usage = (0.0, 0.0)  # the last run's CPU seconds and peak MiB

    def folder(self, name, like=None):
        """A folder holding a copy of the exe, with `like`'s data and game folders copied."""
        folder = self.work / "runs" / name
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy2(self.exe, folder / "Velmor2Launcher.exe")
        for part in ("data", "game"):
            if like:
                shutil.copytree(like / part, folder / part, symlinks=True)
            else:
                (folder / part).mkdir()
        return folder

    def command(self, folder, *args):
        return [str(WINE_RUN), str(folder / "Velmor2Launcher.exe"), "--headless", *args]

    def run(self, folder, *args):
        """Answers (Run, wall seconds), and keeps its CPU time and peak memory in `usage`. Output
        goes to files: Wine's own processes inherit the handles, and a pipe would stay open for as
        long as they live. GNU time starts it: a child of this Python would carry Python's own
        peak past its exec."""
        usage = folder / "usage.txt"
        command = ["/usr/bin/time", "-f", "%U %S %M", "-o", str(usage),
                   *self.command(folder, *args)]
        with open(folder / "stdout.txt", "wb") as out, open(folder / "stderr.txt", "wb") as err:
            start = time.perf_counter()
            done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  env=self.environment, timeout=1800)
            wall = time.perf_counter() - start
        user, system, peak_kib = usage.read_text().split()[-3:]
        self.usage = (float(user) + float(system), int(peak_kib) / 1024)
        text = [(folder / name).read_bytes().decode("utf-8", "replace")
                for name in ("stdout.txt", "stderr.txt")]
        return Run(done.returncode, *text), wall

    def update_args(self, folder, release):
        return ("--update", "--base-url", f"https://127.0.0.1:{self.port}/{release}",
                "--data-dir", windows_path(folder / "data"),
                "--install-dir", windows_path(folder / "game"), "--root-key-b64", self.root_key)

    def update(self, folder, release):
        return self.run(folder, *self.update_args(folder, release))

    def timed_script(self, install, case, kind, size):
        """DIR/commands/CASE-KIND.sh, one update to be timed by another tool; answers its path.
        Both kinds copy the whole install, the pack included, so restoring costs them the same and
        the difference between them is the update alone."""
        folder = self.work / "runs" / f"{case}-{kind}-timed"
        pack, q = folder / "game" / PACK, shlex.quote
        update = ["env", f"GARUN2_WINEPREFIX={self.prefix}",
                  *self.command(folder, *self.update_args(folder, case))]
        lines = [
            "#!/bin/sh",
            f"# Case {case} ({CASES[case]}): the update "
            + ("from the old copy." if kind == "chunked" else "with the old copy deleted first."),
            "set -eu",
            f"rm -rf {q(str(folder))}",
            f"mkdir -p {q(str(folder))}",
            "cp -a " + " ".join(q(str(install / part)) for part in
                                ("Velmor2Launcher.exe", "data", "game")) + f" {q(str(folder))}/",
            *([f"rm {q(str(pack))}"] if kind == "whole" else []),
            # Files, not the timer's pipe: Wine's own processes inherit the handles.
            f"{shlex.join(update)} >{q(str(folder / 'stdout.txt'))} "
            f"2>{q(str(folder / 'stderr.txt'))}",
            # A failed update must not pass for a fast one. Exit code 0 and DOWNLOAD_CODE 0 alone
            # do not show it: without the server the patcher checks against its local copy of
            # release 1 and reports both, having fetched nothing.
            *(f"grep -q {q(f'^{line}[[:space:]]*$')} {q(str(folder / 'stdout.txt'))} || "
              f"{{ echo {q(f'no {line!r} in {folder}/stdout.txt')} >&2; exit 1; }}"
              for line in ("SOURCE: NETWORK", "VERSION: 2.0.0", "DOWNLOAD_COUNT: 1",
                           "DOWNLOAD_CODE: 0")),
            f'[ "$(stat -c %s {q(str(pack))})" = {size} ] || '
            f"{{ echo {q(f'{pack} is not {size} bytes long')} >&2; exit 1; }}",
        ]
        script = self.work / "commands" / f"{case}-{kind}.sh"
        script.parent.mkdir(exist_ok=True)
        script.write_text("\n".join(lines) + "\n")
        return script

    def start(self):
        """Boots the prefix and keeps its wineserver running, so every run starts the same way."""
        folder = self.folder("noop")
        done, _ = self.run(folder, "--self-test", "noop")
        if done.code != 0:
            sys.exit(f"bench: the patcher's noop self-test exits {done.code}:\n{done.stdout}"
                     f"{done.stderr}")
        subprocess.Popen([WINESERVER, "-p"], env=dict(os.environ, WINEPREFIX=str(self.prefix)))
        return min(self.run(folder, "--self-test", "noop")[1] for _ in range(3))

    def stop(self):
        if self.prefix.exists():
            subprocess.run([WINESERVER, "-k"], env=dict(os.environ, WINEPREFIX=str(self.prefix)),
                           capture_output=True)


def explain(title, folder, done, log_text):
    """What a misbehaving update left: its report, its support log and nginx's lines."""
    print(f"\n### {title}: exit code {done.code}")
    print(f"stdout:\n{done.stdout.strip()}\nstderr:\n{done.stderr.strip()}")
    log = folder / "patcher.log"
    text = log.read_bytes().decode("utf-8", "replace") if log.exists() else "(no patcher.log)"
    print(f"{log}:\n{text.strip()}")
    print(f"nginx access log lines of this update:\n{log_text.strip()}", flush=True)


def update_case(patcher, access, install, name, release, new_hash, delete_pack=False):
    """One update of a copy of the release-1 install to `release`; answers what was seen."""
    folder = patcher.folder(name, like=install)
    if delete_pack:
        (folder / "game" / PACK).unlink()
    access.mark()
    done, wall = patcher.update(folder, release)
    requests, log_text = access.since()
    fields = done.fields()
    installed = folder / "game" / PACK
    result = {
        "code": done.code, "wall": wall,
        "equal": installed.is_file() and sha256(installed) == new_hash,
        "files": sent(requests, PORT, objects=True), "meta": sent(requests, PORT, objects=False),
        "form": sent(requests, PORT, objects=True, suffix=".zst"),
        "fetched": fields.get("DOWNLOAD_BYTES_FETCHED", "?"),
        "reused": fields.get("DOWNLOAD_BYTES_REUSED", "?"),
    }
    if done.code != 0 or not result["equal"]:
        explain(f"update {name} ({'installed file equals' if result['equal'] else 'wrong file'})",
                folder, done, log_text)
    return result


def zsync_case(work, access, case, old, new, new_hash):
    """zsync of release 2's pack, served by the same nginx, from the old copy."""
    control = work / "site" / "zsync" / case / "pack.zsync"
    control.parent.mkdir(parents=True, exist_ok=True)
    url = f"http://127.0.0.1:{PLAIN_PORT}/objects/{new.relative_to(work / 'site' / 'objects')}"
    subprocess.run(["zsyncmake", "-b", "8192", "-u", url, str(new), "-o", str(control)],
                   check=True, stdout=subprocess.DEVNULL)
    folder = work / "runs" / f"{case}-zsync"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    access.mark()
    start = time.perf_counter()
    done = subprocess.run(["zsync", "-q", "-i", str(old), "-o", str(folder / "out"),
                           f"http://127.0.0.1:{PLAIN_PORT}/zsync/{case}/pack.zsync"],
                          cwd=folder, capture_output=True, text=True)
    wall = time.perf_counter() - start
    requests, log_text = access.since()
    equal = (folder / "out").is_file() and sha256(folder / "out") == new_hash
    if done.returncode != 0 or not equal:
        print(f"\n### zsync {case}: exit code {done.returncode}, file "
              f"{'equal' if equal else 'wrong'}\n{done.stdout}{done.stderr}\n{log_text}")
    return {"code": done.returncode, "equal": equal, "wall": wall,
            "sent": sent(requests, PLAIN_PORT)}


def zck_case(work, case, old, new, new_hash):
    """What zchunk would download to make release 2's pack from release 1's: both made into .zck
    files with zck's own chunking; zck_delta_size counts the new file's header with its chunks."""
    folder = work / "runs" / f"{case}-zck"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    old_zck = work / "runs" / "r1.zck"
    if not old_zck.is_file():
        subprocess.run(["zck", "-o", str(old_zck), str(old)], check=True, stdout=subprocess.DEVNULL)
    start = time.perf_counter()
    subprocess.run(["zck", "-o", str(folder / "new.zck"), str(new)], check=True,
                   stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    with open(folder / "new.out", "wb") as out:
        subprocess.run(["unzck", "-c", str(folder / "new.zck")], check=True, stdout=out)
    if sha256(folder / "new.out") != new_hash:
        sys.exit(f"bench: zck's file of case {case} does not decode to the new file")
    delta = subprocess.run(["zck_delta_size", str(old_zck), str(folder / "new.zck")],
                           check=True, capture_output=True, text=True).stdout
    header = subprocess.run(["zck_read_header", str(folder / "new.zck")], check=True,
                            capture_output=True, text=True).stdout
    found = re.search(r"Would download (\d+) of (\d+) bytes", delta)
    header_size = re.search(r"Header size: (\d+)", header)
    if not found or not header_size:
        sys.exit(f"bench: zchunk's figures of case {case} do not read:\n{delta}{header}")
    shutil.rmtree(folder)
    return {"download": int(found[1]), "zck": int(found[2]), "header": int(header_size[1]),
            "wall": wall}


def delta_case(work, case, old, new, new_hash):
    """Delta sizes of xdelta3 and zstd, each decoded again and compared with the new file."""
    folder = work / "runs" / f"{case}-delta"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    tools = {
        "xdelta3": (["xdelta3", "-e", "-9", "-s", str(old), str(new), str(folder / "xdelta3")],
                    ["xdelta3", "-d", "-s", str(old), str(folder / "xdelta3"),
                     str(folder / "xdelta3.out")]),
        "zstd": (["zstd", "-q", "-19", "--long=28", f"--patch-from={old}", str(new), "-o",
                  str(folder / "zstd")],
                 ["zstd", "-q", "-d", "--long=31", f"--patch-from={old}", str(folder / "zstd"),
                  "-o", str(folder / "zstd.out")]),
    }
    sizes = {}
    for name, (encode, decode) in tools.items():
        start = time.perf_counter()
        # zstd's advice on its optimal parser goes to stderr even with -q: shown only on failure.
        done = subprocess.run(encode, capture_output=True, text=True)
        wall = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit(f"bench: {shlex.join(encode)} exits {done.returncode}:\n{done.stderr}")
        subprocess.run(decode, check=True)
        if sha256(folder / f"{name}.out") != new_hash:
            sys.exit(f"bench: {name}'s delta of case {case} does not decode to the new file")
        sizes[name] = ((folder / name).stat().st_size, wall)
        for made in (folder / name, folder / f"{name}.out"):
            made.unlink()
    return sizes


def share(count, whole):
    return f"{count:,} ({100 * count / whole:.2f} %)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keep", metavar="DIR", help="make everything in DIR and keep it, with "
                        "scripts in DIR/commands that time each case's two updates")
    parser.add_argument("--serve", action="store_true", help="with --keep: keep nginx and the Wine "
                        "server up after the tables, for those scripts, until interrupted")
    parser.add_argument("--rate", help="nginx's limit_rate for every response (20m: 20 MiB/s); "
                        "default unlimited")
    parser.add_argument("--mib", type=int, default=64, help="the pack's size (default 64)")
    parser.add_argument("--data", choices=("random", "text"), default="random",
                        help="the pack's bytes: random, or text-like words (default random)")
    parser.add_argument("--cases", default="abc", help="which of a, b, c to run (default abc)")
    options = parser.parse_args()
    if options.serve and not options.keep:
        parser.error("--serve needs --keep DIR")
    if options.rate and not re.fullmatch(r"[0-9]+[kKmM]?", options.rate):
        parser.error(f"--rate {options.rate}: a number of bytes a second, with k or m after it")
    began = time.perf_counter()
    # Ctrl-C and SIGTERM both leave through the `finally` and the `with` below.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    work = Path(options.keep or tempfile.mkdtemp(prefix="garun2-bench-chunked-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    work.chmod(0o755)  # mkdtemp's folder is private; nginx's workers serve from it unprivileged
    patcher = None
    failed = False
    try:
        old = make_bytes(random.Random(SEED), options.mib * MIB, options.data)
        old_path, _ = publish(work, "r1", old)
        patcher = Patcher(work)
        wine_start = patcher.start()
        rows, details, scripts = [], [], []

        def server():
            return StaticServer(work / "site", work / "nginx", PORT,
                                f"https://127.0.0.1:{PORT}/r1/keys.txt", plain_port=PLAIN_PORT,
                                log_format=LOG_FORMAT, rate=options.rate)

        with server():
            access = AccessLog(work / "nginx" / "access.log")
            install = patcher.folder("install")
            access.mark()
            done, wall = patcher.update(install, "r1")
            requests, log_text = access.since()
            if done.code != 0 or sha256(install / "game" / PACK) != sha256(old_path):
                explain("install of release 1", install, done, log_text)
                sys.exit("bench: the install of release 1 failed; nothing to compare")
            print(f"pack: {len(old):,} bytes of {options.data} data; install of release 1 into "
                  f"an empty folder: {wall:.2f} s, {sent(requests, PORT, objects=True)[0]:,} bytes "
                  f"under objects/ ({sent(requests, PORT, suffix='.zst')[0]:,} of its form); "
                  f"Wine's start (--self-test noop, best of 3): {wine_start:.2f} s; rate limit: "
                  f"{options.rate or 'none'}", flush=True)
            for case in options.cases:
                new = make_new(old, case, options.data)
                new_hash = hashlib.sha256(new).hexdigest()
                new_path, new_object = publish(work, case, new, previous=work / "site" / "r1")
                del new
                chunked = update_case(patcher, access, install, case, case, new_hash)
                whole = update_case(patcher, access, install, f"{case}-whole", case, new_hash,
                                    delete_pack=True)
                zsync = zsync_case(work, access, case, old_path, new_object, new_hash)
                zck = zck_case(work, case, old_path, new_path, new_hash)
                deltas = delta_case(work, case, old_path, new_path, new_hash)
                size = new_path.stat().st_size
                failed |= not (chunked["code"] == 0 and chunked["equal"] and whole["code"] == 0
                               and whole["equal"] and zsync["code"] == 0 and zsync["equal"])
                rows.append((case, chunked, whole, zsync, zck, deltas, size))
                if options.keep:
                    scripts.extend(patcher.timed_script(install, case, kind, size)
                                   for kind in ("chunked", "whole"))
                print(f"case {case} ({CASES[case]}) done after "
                      f"{time.perf_counter() - began:.0f} s", flush=True)
        print(f"\n{options.data} data, rate limit {options.rate or 'none'}")
        print("| case | patcher fetched (server-counted) | of it from the form | patcher wall s | "
              "whole-file update wall s | zsync fetched | zchunk download | xdelta3 | zstd | "
              "whole file |")
        print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        for case, chunked, whole, zsync, zck, deltas, size in rows:
            print(f"| {case}: {CASES[case]} | {share(chunked['files'][0], size)} | "
                  f"{chunked['form'][0]:,} | {chunked['wall']:.2f} | {whole['wall']:.2f} | "
                  f"{share(zsync['sent'][0], size)} | {share(zck['download'], size)} | "
                  f"{share(deltas['xdelta3'][0], size)} | {share(deltas['zstd'][0], size)} | "
                  f"{size:,} |")
        print()
        for case, chunked, whole, zsync, zck, deltas, size in rows:
            ok = chunked["code"] == 0 and chunked["equal"]
            got = chunked["files"][0]
            print(f"{case}: patcher fetched <= zsync fetched: "
                  f"{'yes' if got <= zsync['sent'][0] else 'no'} ({got:,} vs "
                  f"{zsync['sent'][0]:,}); <= zchunk: {'yes' if got <= zck['download'] else 'no'} "
                  f"({got:,} vs {zck['download']:,}, its header {zck['header']:,} of it)"
                  + ("" if ok else " -- but the patcher's update failed, see above"))
        print("\n| case | exit | file = release 2 | DOWNLOAD_BYTES_FETCHED | DOWNLOAD_BYTES_REUSED "
              "| objects/ requests (form's) | metadata bytes (requests) | whole-file: exit, equal, "
              "server-counted | zsync: exit, equal, requests, wall s | zck s | xdelta3 s | "
              "zstd s |")
        print("|---|---:|---|---:|---:|---:|---:|---|---|---:|---:|---:|")
        for case, chunked, whole, zsync, zck, deltas, size in rows:
            print(f"| {case} | {chunked['code']} | {'yes' if chunked['equal'] else 'NO'} | "
                  f"{chunked['fetched']} | {chunked['reused']} | {chunked['files'][1]} "
                  f"({chunked['form'][1]}) | "
                  f"{chunked['meta'][0]:,} ({chunked['meta'][1]}) | {whole['code']}, "
                  f"{'yes' if whole['equal'] else 'NO'}, {whole['files'][0]:,} | "
                  f"{zsync['code']}, {'yes' if zsync['equal'] else 'NO'}, {zsync['sent'][1]}, "
                  f"{zsync['wall']:.2f} | {zck['wall']:.1f} | {deltas['xdelta3'][1]:.1f} | "
                  f"{deltas['zstd'][1]:.1f} |")
        print(f"\ntotal runtime: {time.perf_counter() - began:.0f} s")
        for script in scripts:
            print(f"timed update: sh {script}")
        if options.serve:
            with server():
                print("serving until interrupted (Ctrl-C or SIGTERM)", flush=True)
                try:
                    signal.pause()
                except KeyboardInterrupt:
                    pass
        return 1 if failed else 0
    except KeyboardInterrupt:
        print("bench: interrupted", file=sys.stderr)
        return 130
    finally:
        if patcher:
            patcher.stop()
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
