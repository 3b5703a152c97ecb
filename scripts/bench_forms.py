#!/usr/bin/env python3
"""What compressed forms save on a first install, and what the patcher pays for them where a
release has none, in one run; called by scripts/bench-forms.sh after the builds.

The tree (150 MB by default, --mb N) holds a few hundred files of three kinds, by share of bytes:
  code   30 %  copies of the ELF files of 16 KiB to 4 MiB in /usr/lib/x86_64-linux-gnu, the first
               by sorted name (the same tree on machines with the same packages),
  text   30 %  100 files of text-like words from a seeded RNG (zstd -19 keeps about a third),
  media  40 %  120 files of bytes from a seeded RNG, which no compressor shrinks,
the text and media files of log-uniform sizes (bench_tree's, up to about 3 MB; some above 1 MiB).
It is published twice with the operator tool into one shared objects folder: /forms as the tool
writes it with --objects (a compressed form beside each object that zstd shrinks by 5 %, and
forms.txt) and /raw, the same with forms.txt removed, whose files the patcher fetches as they are.
Each is installed with `--headless --update` into an empty folder, and nginx counts the body
bytes it sent under objects/ (by kind, and how many of them were forms). The yardsticks: the sum
over the files of `zstd -19 --long` of each (the file's own size where that is not smaller), and
the raw total.

A random tree (--random-mib, 100 files of bench_tree.make_tree's sizes: no forms, since zstd saves
nothing), published with its forms.txt, is installed too, by this build's exe and, with
--old-exe EXE, by an older one (a build from before the download used forms): what the form path
costs a release without forms.

Every install is checked file by file against its tree; its wall time, CPU time and peak memory
(of the largest process, as GNU time reports it) are printed. --rate RATE is nginx's limit_rate,
which holds per connection (20m: 20 MiB/s on each of the patcher's connections). --keep DIR and
--serve as in bench_chunked.py: DIR/commands gets install-forms.sh, install-raw.sh, random.sh and
(with --old-exe) random-old.sh, each installing into a fresh folder and exiting non-zero unless
the patcher reports DOWNLOAD_CODE 0 having fetched every file.

Usage: bench_forms.py [--keep DIR [--serve]] [--rate RATE] [--mb N] [--random-mib N]
                      [--old-exe EXE]
"""
import argparse
import hashlib
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
from bench_chunked import LOG_FORMAT, MIB, AccessLog, Patcher, explain, sha256  # noqa: E402
from bench_patcher import EXPIRES, make_keys, tool  # noqa: E402
from bench_tree import log_uniform_sizes, make_tree, text_bytes  # noqa: E402
from static_server import StaticServer  # noqa: E402

# Not bench_chunked's or bench_patcher's, so that each can run beside the others.
PORT = 47573
SEED = 20261210
LIBRARIES = Path("/usr/lib/x86_64-linux-gnu")
SHARES = {"code": 30, "text": 30, "media": 40}  # percent of the tree's bytes
COUNTS = {"text": 100, "media": 120}


def copy_if_changed(path, make, size):
    """Writes make() to `path` unless a file of `size` bytes is there already (a kept tree)."""
    if path.is_file() and path.stat().st_size == size:
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(make())


def make_forms_tree(game, total):
    """Makes the three kinds' files under `game`; answers {path below game: kind}."""
    kinds = {}
    wanted, made = total * SHARES["code"] // 100, 0
    for library in sorted(LIBRARIES.iterdir()):
        if made >= wanted:
            break
        if library.is_symlink() or not library.is_file():
            continue
        size = library.stat().st_size
        with open(library, "rb") as head:
            if not 16 << 10 <= size <= 4 << 20 or head.read(4) != b"\x7fELF":
                continue
        copy_if_changed(game / "code" / library.name, library.read_bytes, size)
        kinds[f"code/{library.name}"] = "code"
        made += size
    for kind, count in COUNTS.items():
        sizes = log_uniform_sizes(random.Random(f"{SEED}-{kind}"), count,
                                  total * SHARES[kind] // 100)
        for i, size in enumerate(sizes):
            name = f"{kind}/{kind}{i:03d}" + (".txt" if kind == "text" else ".bin")
            rng = random.Random(f"{SEED}-{name}")
            copy_if_changed(game / name, (lambda: text_bytes(rng, size)) if kind == "text"
                            else (lambda: rng.randbytes(size)), size)
            kinds[name] = kind
    return kinds


def publish(work, name, game):
    keys = make_keys(work)
    release = work / "site" / name
    shutil.rmtree(release, ignore_errors=True)
    release.parent.mkdir(parents=True, exist_ok=True)
    tool("publish", "--out", release, "--game", game, "--keys", keys / "keys.txt",
         "--key", keys / "release.pem", "--root-key-file", keys / "root.pub",
         "--base-url", f"https://127.0.0.1:{PORT}/{name}", "--version", "1.0.0",
         "--channel", "bench", "--counter", "1", "--expires", EXPIRES,
         "--objects", work / "site" / "objects",
         "--objects-url", f"https://127.0.0.1:{PORT}/objects")
    return release


def zstd_size(path):
    """`zstd -19 --long` of the file, or its own size where that is not smaller."""
    done = subprocess.run(["zstd", "-q", "-19", "--long", "-c", str(path)], capture_output=True,
                          check=True)
    return min(len(done.stdout), path.stat().st_size)


def yardsticks(work, game, names):
    """Each file's zstd_size, kept in work/yardsticks.txt for a kept tree of the same sizes."""
    kept = work / "yardsticks.txt"
    known = {}
    if kept.exists():
        for line in kept.read_text().splitlines():
            name, size, packed = line.rsplit(" ", 2)
            known[name, int(size)] = int(packed)
    wanted = [n for n in names if (n, (game / n).stat().st_size) not in known]
    with ThreadPoolExecutor(2) as pool:  # two cores
        for name, packed in zip(wanted, pool.map(lambda n: zstd_size(game / n), wanted)):
            known[name, (game / name).stat().st_size] = packed
    kept.write_text("".join(f"{n} {s} {p}\n" for (n, s), p in sorted(known.items())))
    return {n: known[n, (game / n).stat().st_size] for n in names}


def install(patcher, access, name, release, hashes):
    """Installs `release` into an empty folder; answers what was seen. The bytes sent under
    objects/ are keyed by the file each request was for, and by "form" when it was a form."""
    folder = patcher.folder(name)
    access.mark()
    done, wall = patcher.update(folder, release)
    cpu, peak = patcher.usage
    requests, log_text = access.since()
    by_sha = {sha: path for path, sha in hashes.items()}
    per_file, meta = {}, 0
    for _, _, sent, request, _ in requests:
        found = re.fullmatch(r"/objects/../([0-9a-f]{64})(\.zst|\.chunks)?", request.split(" ")[1])
        if not found:
            meta += sent
            continue
        path = by_sha.get(found[1], "?")
        raw, form = per_file.get(path, (0, 0))
        per_file[path] = (raw, form + sent) if found[2] == ".zst" else (raw + sent, form)
    equal = all((folder / "game" / path).is_file() and sha256(folder / "game" / path) == sha
                for path, sha in hashes.items())
    fields = done.fields()
    if done.code != 0 or fields.get("DOWNLOAD_CODE") != "0" or not equal:
        explain(f"install of /{release} ({'tree equal' if equal else 'tree differs'})", folder,
                done, log_text)
    return {"code": done.code, "download": fields.get("DOWNLOAD_CODE", "?"), "equal": equal,
            "wall": wall, "cpu": cpu, "peak": peak, "files": per_file, "meta": meta}


def timed_script(patcher, name, release, count):
    """DIR/commands/NAME.sh: one install of `release` into a fresh folder, for another timer. The
    last run's folder is moved aside first, into work/trash (emptied at the end): ext4 without a
    journal passes over every inode freed in the last minute when it makes a file, so a tree
    deleted just before a run slows its creates."""
    folder, q = patcher.work / "runs" / f"{name}-timed", shlex.quote
    trash = patcher.work / "trash"
    update = ["env", f"GARUN2_WINEPREFIX={patcher.prefix}",
              *patcher.command(folder, *patcher.update_args(folder, release))]
    out = q(str(folder / "stdout.txt"))
    lines = [
        "#!/bin/sh",
        f"# An install of /{release} into an empty folder by {patcher.exe}.",
        "set -eu",
        f"if [ -e {q(str(folder))} ]; then",
        f"    mkdir -p {q(str(trash))}",
        f"    mv {q(str(folder))} \"$(mktemp -d -p {q(str(trash))})\"",
        "fi",
        f"mkdir -p {q(str(folder / 'data'))} {q(str(folder / 'game'))}",
        f"cp {q(str(patcher.exe))} {q(str(folder / 'Velmor2Launcher.exe'))}",
        f"{shlex.join(update)} >{out} 2>{q(str(folder / 'stderr.txt'))}",
        *(f"grep -q {q(f'^{line}[[:space:]]*$')} {out} || "
          f"{{ echo {q(f'no {line!r} in {folder}/stdout.txt')} >&2; exit 1; }}"
          for line in ("SOURCE: NETWORK", f"DOWNLOAD_COUNT: {count}", "DOWNLOAD_CODE: 0")),
    ]
    script = patcher.work / "commands" / f"{name}.sh"
    script.parent.mkdir(exist_ok=True)
    script.write_text("\n".join(lines) + "\n")
    return script


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keep", metavar="DIR", help="make everything in DIR and keep it, with "
                        "scripts in DIR/commands that time each install")
    parser.add_argument("--serve", action="store_true", help="with --keep: keep nginx and the Wine "
                        "server up after the tables, for those scripts, until interrupted")
    parser.add_argument("--rate", help="nginx's limit_rate for every response (20m: 20 MiB/s); "
                        "default unlimited")
    parser.add_argument("--mb", type=int, default=150, help="the tree's size in MB (default 150)")
    parser.add_argument("--random-mib", type=int, default=256,
                        help="the random tree's size (default 256)")
    parser.add_argument("--old-exe", type=Path, help="another build of the patcher to install "
                        "the random tree with")
    options = parser.parse_args()
    if options.serve and not options.keep:
        parser.error("--serve needs --keep DIR")
    if options.rate and not re.fullmatch(r"[0-9]+[kKmM]?", options.rate):
        parser.error(f"--rate {options.rate}: a number of bytes a second, with k or m after it")
    began = time.perf_counter()
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    work = Path(options.keep or tempfile.mkdtemp(prefix="garun2-bench-forms-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    work.chmod(0o755)  # mkdtemp's folder is private; nginx's workers serve from it unprivileged
    patcher = None
    try:
        game = work / "tree" / "game"
        kinds = make_forms_tree(game, options.mb * 1000 * 1000)
        hashes = {path: sha256(game / path) for path in kinds}
        forms = publish(work, "forms", game)
        (publish(work, "raw", game) / "forms.txt").unlink(missing_ok=True)
        random_game = work / "random" / "game"
        random_paths = make_tree(str(random_game), count=100, total=options.random_mib * MIB)
        random_hashes = {str(Path(p).relative_to(random_game)): sha256(p) for p in random_paths}
        publish(work, "random", random_game)
        listed = (forms / "forms.txt").read_text().splitlines() if (forms / "forms.txt").exists() \
            else []
        print(f"publish done after {time.perf_counter() - began:.0f} s; /forms lists "
              f"{len(listed)} form(s)", flush=True)
        packed = yardsticks(work, game, list(kinds))
        print(f"zstd -19 --long of each file done after {time.perf_counter() - began:.0f} s",
              flush=True)
        patcher = Patcher(work, port=PORT)
        patcher.start()
        old = Patcher(work, exe=options.old_exe.resolve(), port=PORT) if options.old_exe else None

        def server():
            return StaticServer(work / "site", work / "nginx", PORT,
                                f"https://127.0.0.1:{PORT}/forms/keys.txt",
                                log_format=LOG_FORMAT, rate=options.rate)

        runs = {}
        with server():
            access = AccessLog(work / "nginx" / "access.log")
            for label, who, name, release, tree in (
                    ("/forms", patcher, "forms", "forms", hashes),
                    ("/raw", patcher, "raw", "raw", hashes),
                    ("/random, this exe", patcher, "random", "random", random_hashes),
                    *([("/random, old exe", old, "random-old", "random", random_hashes)]
                      if old else [])):
                runs[label] = install(who, access, name, release, tree)
                print(f"install {label} done after {time.perf_counter() - began:.0f} s",
                      flush=True)
        scripts = []
        if options.keep:
            scripts = [timed_script(patcher, "install-forms", "forms", len(kinds)),
                       timed_script(patcher, "install-raw", "raw", len(kinds)),
                       timed_script(patcher, "random", "random", len(random_hashes))]
            if old:
                scripts.append(timed_script(old, "random-old", "random", len(random_hashes)))

        sizes = {path: (game / path).stat().st_size for path in kinds}
        forms_at = {path: work / "site" / "objects" / sha[:2] / f"{sha}.zst"
                    for path, sha in hashes.items()}
        stored = {path: f.stat().st_size if f.exists() else 0 for path, f in forms_at.items()}
        total = sum(sizes.values())
        print(f"\ntree: {len(kinds)} files, {total:,} bytes, "
              f"{sum(s > MIB for s in sizes.values())} of them above 1 MiB; "
              f"rate limit: {options.rate or 'none'} per connection")
        print("| kind | files | bytes (share) | zstd -19 --long, per file | forms stored (files) | "
              "/forms install sent (of it forms) | /raw install sent |")
        print("|---|---:|---:|---:|---:|---:|---:|")
        def sent_for(label, path):
            return sum(runs[label]["files"].get(path, (0, 0)))

        for kind in (*SHARES, None):
            of = [p for p in kinds if kind in (None, kinds[p])]
            size = sum(sizes[p] for p in of)
            form_sent = sum(runs["/forms"]["files"].get(p, (0, 0))[1] for p in of)
            print(f"| {kind or 'all'} | {len(of)} | {size:,} ({100 * size / total:.0f} %) | "
                  f"{sum(packed[p] for p in of):,} | {sum(stored[p] for p in of):,} "
                  f"({sum(stored[p] > 0 for p in of)}) | "
                  f"{sum(sent_for('/forms', p) for p in of):,} ({form_sent:,}) | "
                  f"{sum(sent_for('/raw', p) for p in of):,} |")
        print("\n| install | exit | DOWNLOAD_CODE | tree equal | bytes under objects/ | "
              "other bytes | wall s | CPU s | peak MiB |")
        print("|---|---:|---:|---|---:|---:|---:|---:|---:|")
        for label, run in runs.items():
            print(f"| {label} | {run['code']} | {run['download']} | "
                  f"{'yes' if run['equal'] else 'NO'} | "
                  f"{sum(sum(f) for f in run['files'].values()):,} | {run['meta']:,} | "
                  f"{run['wall']:.2f} | {run['cpu']:.2f} | {run['peak']:.0f} |")
        got = sum(sum(f) for f in runs["/forms"]["files"].values())
        yardstick = sum(packed.values())
        over = [p for p in kinds if packed[p] >= sizes[p] and sent_for("/forms", p) > sizes[p]]
        print(f"\n/forms install sent <= 1.05 x the zstd sum: "
              f"{'yes' if got <= 1.05 * yardstick else 'no'} ({got:,} / {yardstick:,} = "
              f"{got / yardstick:.3f}; raw total {total:,})")
        print(f"files zstd does not shrink sent as more than their size: {len(over)} of "
              f"{sum(packed[p] >= sizes[p] for p in kinds)}" + (f" ({', '.join(over[:5])})"
                                                                 if over else ""))
        peak = runs["/forms"]["peak"]
        print(f"/forms install's peak memory under 64 MiB: {'yes' if peak < 64 else 'no'} "
              f"({peak:.0f} MiB)")
        print(f"\ntotal runtime: {time.perf_counter() - began:.0f} s")
        for script in scripts:
            print(f"timed install: sh {script}")
        if options.serve:
            with server():
                print("serving until interrupted (Ctrl-C or SIGTERM)", flush=True)
                try:
                    signal.pause()
                except KeyboardInterrupt:
                    pass
        return 0 if all(r["code"] == 0 and r["download"] == "0" and r["equal"]
                        for r in runs.values()) else 1
    except KeyboardInterrupt:
        print("bench: interrupted", file=sys.stderr)
        return 130
    finally:
        if patcher:
            patcher.stop()
        shutil.rmtree(work / "trash", ignore_errors=True)
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
