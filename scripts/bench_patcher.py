#!/usr/bin/env python3
"""The shipped 32-bit patcher against the 64-bit build, each against a public yardstick, in one run;
called by scripts/bench-patcher.sh after the builds.

- check: `--headless --check --level full` of an up-to-date tree (default 2 GiB in 500 files),
  beside `--headless --self-test noop` (Wine's own start, to take away) and
  `openssl dgst -sha256` of the same files one after another;
- update: `--headless --update` of a release (default 1 GiB in 200 files) into an empty folder,
  beside the same build's winhttp-floor of the same files (bodies thrown away, then written to
  files, then written and flushed) and `curl --http1.1 --parallel --parallel-max 16` of them, from
  the same nginx over loopback TLS;
- install: `--headless --update` into an empty folder of a release with a real game's file sizes
  (bench/data/game_file_sizes.txt, thousands of files, most of them small, in nested folders),
  beside the same build's winhttp-floor (bare WinHTTP, eight threads, bodies thrown away: what the
  platform costs, under the same Wine and prefix), the same floor writing each body to a file (and
  writing and flushing it), and the same curl; each is set against its own build's floor.

The releases are published with the operator tool and served by nginx with our configuration. Each
build has a Wine prefix of its own whose wineserver is kept running for the whole run, so that every
run pays the same start. The commands run in turns (one of each in a round, after a warm-up round)
and the medians of wall time, CPU time and peak memory of the largest process are printed. With
--keep DIR everything is made in DIR and kept (a second call reuses it), and the commands are
written as scripts in DIR/commands and named instead of timed, with the server kept up until
interrupted, for timing them with another tool.

A run that writes a tree first moves the last run's copy into DIR/trash, emptied only when the
benchmark ends: ext4 without a journal passes over every inode freed in the last minute or more
when it makes a file, so a tree deleted just before a run would slow that run's creates.
"""
import argparse
import hashlib
import os
import resource
import shlex
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from functools import partial
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import ca_setup  # noqa: E402  (the test CA that the host, and so Wine and curl, trust)
from bench_tree import GAME_SIZES, make_game_tree, make_tree  # noqa: E402
from static_server import StaticServer  # noqa: E402

TOOL = ROOT / "build" / "tool" / "tools" / "release" / "garun2-release"
WINE_RUN = ROOT / "cmake" / "wine-run.sh"
BUILDS = {"win32": ("/usr/lib/wine/wineserver32", "shipped 32-bit exe"),
          "win64": ("/usr/lib/wine/wineserver64", "64-bit build")}
EXPIRES = "2099-01-01T00:00:00Z"
# The manifests name every file's address, so a kept release is published again for another port.
PORT = 47543
MODES = ("check", "update", "install")


def tool(*args):
    done = subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"bench: garun2-release {args[0]} failed:\n{done.stdout}{done.stderr}")


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def make_keys(work):
    """The root and release keys and the key registry in work/keys, made once; answers the folder."""
    keys = work / "keys"
    if not (keys / "root.pub").exists():
        keys.mkdir(parents=True, exist_ok=True)
        for key in ("root", "release"):
            tool("keygen", "--out", keys / key)
        tool("registry", keys / "keys.txt", "--key", keys / "root.pem", "--version", "1",
             "--expires", EXPIRES, "--add", f"release-1={keys / 'release.pub'}")
    return keys


def publish(work, name, make, made_as):
    """Makes the tree `name` with make(folder) and publishes it as a release at /name, again only
    when `made_as` (what the tree was made from) changed; answers the tree and its files."""
    game = work / name / "game"
    paths = make(str(game))
    keys = make_keys(work)
    release = work / "site" / name
    stamp = work / name / "published"
    made_as = f"port {PORT}, {made_as}"
    if not stamp.exists() or stamp.read_text() != made_as:
        shutil.rmtree(release, ignore_errors=True)
        release.parent.mkdir(parents=True, exist_ok=True)
        tool("publish", "--out", release, "--game", game, "--keys", keys / "keys.txt",
             "--key", keys / "release.pem", "--root-key-file", keys / "root.pub",
             "--base-url", f"https://127.0.0.1:{PORT}/{name}", "--version", "1.0.0",
             "--channel", "bench", "--counter", "1", "--expires", EXPIRES)
        stamp.write_text(made_as)
    return game, paths


def file_urls(release, paths, game):
    return [f"https://127.0.0.1:{PORT}/{release}/files/{Path(p).relative_to(game).as_posix()}"
            for p in paths]


def into_fresh(work, outputs, command):
    """`command` after the last run's `outputs` are moved aside into the trash (see above)."""
    trash = work / "trash"
    trash.mkdir(exist_ok=True)
    moved = " ".join(shlex.quote(str(p)) for p in outputs)
    return ["sh", "-c", f"t=$(mktemp -d -p {shlex.quote(str(trash))}) && "
            f"{{ mv -t \"$t\" -- {moved} 2>/dev/null; exec {shlex.join(command)}; }}"]


def patcher_commands(work, build, modes, floor_urls):
    """The runs of one build: Wine's start, then per mode the full check, or the update or the
    install with the WinHTTP floor of the same files beside it (run by the same Wine runner in the
    same prefix): bodies thrown away, then written to files, then written and flushed.
    `floor_urls` holds a file of URLs for each mode but the check."""
    folder = work / build
    folder.mkdir(exist_ok=True)
    exe = folder / "Velmor2Launcher.exe"
    shutil.copy2(ROOT / "build" / build / "app" / "Velmor2Launcher.exe", exe)
    root_key = (work / "keys" / "root.pub").read_text().strip()
    wine = ["env", f"GARUN2_WINEPREFIX={work / ('prefix-' + build)}", str(WINE_RUN)]

    def headless(command, release, data, game):
        return [*wine, str(exe), "--headless", command, "--base-url",
                f"https://127.0.0.1:{PORT}/{release}", "--data-dir", windows_path(data),
                "--install-dir", windows_path(game), "--root-key-b64", root_key]

    def into_empty(release):
        data, game = folder / f"{release}-data", folder / f"{release}-game"
        return into_fresh(work, [data, game], headless("--update", release, data, game))

    commands = {"noop": [*wine, str(exe), "--headless", "--self-test", "noop"]}
    if "check" in modes:
        commands["check"] = headless("--check", "check", folder / "check-data",
                                     work / "check" / "game") + ["--level", "full"]
    floor = folder / "winhttp-floor.exe"
    shutil.copy2(ROOT / "build" / build / "bench" / "winhttp-floor.exe", floor)
    for mode, name in (("update", "update-floor"), ("install", "floor")):
        if mode not in modes:
            continue
        commands[mode] = into_empty(mode)
        commands[name] = [*wine, str(floor), windows_path(floor_urls[mode])]
        out = folder / f"{name}-out"
        commands[f"{name}-write"] = into_fresh(work, [out], commands[name] + [windows_path(out)])
        commands[f"{name}-write-flush"] = into_fresh(
            work, [out], commands[name] + [windows_path(out), "--flush"])
    return commands


def curl_command(work, release, paths, game):
    out = work / f"curl-{release}-out"
    config = work / f"curl-{release}.cfg"
    with open(config, "w") as lines:
        for path, url in zip(paths, file_urls(release, paths, game)):
            lines.write(f'url = "{url}"\n'
                        f'output = "{out / Path(path).relative_to(game)}"\n')
    fetch = ["curl", "--http1.1", "--parallel", "--parallel-max", "16", "--create-dirs", "--fail",
             "--no-progress-meter", "--cacert", str(ca_setup.ensure() / "ca.crt"), "-K",
             str(config)]
    return into_fresh(work, [out], fetch)


def run(command):
    """Wall seconds, CPU seconds and peak resident MiB of the largest process it waited for. GNU
    time starts the command: a child of this Python would carry Python's own peak past its exec."""
    with tempfile.NamedTemporaryFile("r") as usage:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", usage.name, *command],
                              stdout=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit(f"bench: exit code {done.returncode}: {shlex.join(command)}")
        user, system, peak_kib = usage.read().split()[-3:]
    return wall, float(user) + float(system), int(peak_kib) / 1024


def time_in_turns(commands, rounds):
    for command in commands.values():
        run(command)
    runs = {name: [] for name in commands}
    for _ in range(rounds):
        for name, command in commands.items():
            runs[name].append(run(command))
    return {name: [statistics.median(r[i] for r in got) for i in range(3)]
            for name, got in runs.items()}


def report_install(medians, builds, curl):
    print("\ninstall into an empty folder (medians: wall s, CPU s, peak MiB)")
    for name, (wall, cpu, peak) in medians.items():
        print(f"  {name:<32} {wall:8.2f} {cpu:8.2f} {peak:8.0f}")
    for build in builds:
        floor = medians[f"{build} floor"]
        for name in ("install", "floor-write", "floor-write-flush"):
            got = medians[f"{build} {name}"]
            print(f"  {build} {name} / {build} floor: wall {got[0] / floor[0]:.2f}x, "
                  f"CPU {got[1] / floor[1]:.2f}x, peak {got[2] / floor[2]:.2f}x")
    for name, (wall, _, _) in medians.items():
        if name != curl:
            print(f"  {name} / {curl}: wall {wall / medians[curl][0]:.2f}x")


def report(title, medians, yardstick, start=None):
    print(f"\n{title} (medians: wall s, CPU s, peak MiB)")
    for name, (wall, cpu, peak) in medians.items():
        print(f"  {name:<32} {wall:8.2f} {cpu:8.2f} {peak:8.0f}")
    base = medians[yardstick][0]
    for name, (wall, _, _) in medians.items():
        if name == yardstick or name.endswith("noop"):
            continue
        net = wall - (medians[start(name)][0] if start else 0)
        label = "minus Wine's start" if start else "wall"
        print(f"  {name} / {yardstick}: {label} {net:.2f} s, {net / base:.2f}x")


def main():
    global PORT
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keep")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--check-files", type=int, default=500)
    parser.add_argument("--check-mib", type=int, default=2048)
    parser.add_argument("--update-files", type=int, default=200)
    parser.add_argument("--update-mib", type=int, default=1024)
    parser.add_argument("--only", choices=MODES, help="time one of the three only")
    parser.add_argument("--port", type=int, default=PORT,
                        help="nginx's loopback port, for a run beside another one's server")
    options = parser.parse_args()
    PORT = options.port
    modes = [options.only] if options.only else list(MODES)
    work = Path(options.keep or tempfile.mkdtemp(prefix="garun2-bench-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    work.chmod(0o755)  # mkdtemp's folder is private; nginx's workers serve from it unprivileged
    try:
        trees, sizes = {}, []
        for mode, files, mib in (("check", options.check_files, options.check_mib),
                                 ("update", options.update_files, options.update_mib)):
            if mode in modes:
                trees[mode] = publish(work, mode, partial(make_tree, count=files,
                                                          total=mib << 20), f"{files} {mib}")
        floor_urls = {mode: work / f"{mode}-urls.txt" for mode in ("update", "install")}
        if "update" in modes:
            floor_urls["update"].write_text("\n".join(file_urls("update", trees["update"][1],
                                                                 trees["update"][0])) + "\n")
        if "install" in modes:
            trees["install"] = publish(work, "install", make_game_tree,
                                       hashlib.sha256(GAME_SIZES.read_bytes()).hexdigest())
            floor_urls["install"].write_text("\n".join(file_urls("install", trees["install"][1],
                                                                  trees["install"][0])) + "\n")
            sizes = sorted(os.path.getsize(p) for p in trees["install"][1])
        builds = [b for b in BUILDS if b != "win32" or os.access("/usr/lib/wine/wine", os.X_OK)]
        commands = {build: patcher_commands(work, build, modes, floor_urls) for build in builds}
        for build in builds:
            # A wineserver that outlives each run: every run then starts the same way.
            subprocess.run([*commands[build]["noop"]], check=True, stdout=subprocess.DEVNULL)
            env = dict(os.environ, WINEPREFIX=str(work / f"prefix-{build}"))
            subprocess.Popen([BUILDS[build][0], "-p"], env=env)
        with StaticServer(work / "site", work / "nginx", PORT,
                          f"https://127.0.0.1:{PORT}/{modes[0]}/keys.txt"):
            curl = {mode: curl_command(work, mode, trees[mode][1], trees[mode][0])
                    for mode in ("update", "install") if mode in modes}
            openssl = ["openssl", "dgst", "-sha256", *trees["check"][1]] if "check" in modes else []
            if "check" in modes:
                print(f"check tree: {len(trees['check'][1])} files, {options.check_mib} MiB")
            if "update" in modes:
                print(f"update release: {len(trees['update'][1])} files, {options.update_mib} MiB")
            if "install" in modes:
                print(f"install release: {len(sizes)} files, {sum(sizes)} bytes (median "
                      f"{statistics.median(sizes):.0f}, 90th percentile "
                      f"{sizes[int(0.9 * (len(sizes) - 1))]}), sizes from "
                      f"{GAME_SIZES.relative_to(ROOT)}")
            print("builds: " + ", ".join(f"{b} ({BUILDS[b][1]})" for b in builds))
            if options.keep:
                named = {f"{b}-{name}": c for b in builds for name, c in commands[b].items()}
                if "update" in modes:
                    named["curl"] = curl["update"]
                if "install" in modes:
                    named["curl-install"] = curl["install"]
                if "check" in modes:
                    named["openssl"] = openssl
                for name, command in named.items():
                    script = work / "commands" / f"{name}.sh"
                    script.parent.mkdir(exist_ok=True)
                    script.write_text("exec " + shlex.join(command) + "\n")
                    print(f"{name}: bash {script}")
                print("serving until interrupted (Ctrl-C or SIGTERM)", flush=True)
                signal.signal(signal.SIGTERM, signal.default_int_handler)
                try:
                    signal.pause()
                except KeyboardInterrupt:
                    pass
                return 0
            if "check" in modes:
                check = {f"{b} noop": commands[b]["noop"] for b in builds}
                check.update({f"{b} check": commands[b]["check"] for b in builds})
                check["openssl dgst -sha256"] = openssl
                report("full check", time_in_turns(check, options.rounds), "openssl dgst -sha256",
                       start=lambda name: name.split()[0] + " noop")
            if "update" in modes:
                floors = ("update-floor", "update-floor-write", "update-floor-write-flush")
                update = {f"{b} {name}": commands[b][name] for b in builds
                          for name in ("update", *floors)}
                update["curl --parallel 16"] = curl["update"]
                medians = time_in_turns(update, options.rounds)
                report("update into an empty folder", medians, "curl --parallel 16")
                for b in builds:
                    floor = medians[f"{b} update-floor"]
                    for name in ("update", *floors[1:]):
                        got = medians[f"{b} {name}"]
                        print(f"  {b} {name} / {b} update-floor: wall {got[0] / floor[0]:.2f}x, "
                              f"CPU {got[1] / floor[1]:.2f}x, peak {got[2] / floor[2]:.2f}x")
            if "install" in modes:
                install = {}
                for b in builds:
                    install[f"{b} install"] = commands[b]["install"]
                    for floor in ("floor", "floor-write", "floor-write-flush"):
                        install[f"{b} {floor}"] = commands[b][floor]
                install["curl --parallel 16"] = curl["install"]
                report_install(time_in_turns(install, options.rounds), builds,
                               "curl --parallel 16")
        return 0
    finally:
        for build, (server, _) in BUILDS.items():
            if not os.access(server, os.X_OK):
                continue  # no 32-bit Wine here
            env = dict(os.environ, WINEPREFIX=str(work / f"prefix-{build}"))
            subprocess.run([server, "-k"], env=env, capture_output=True)
        shutil.rmtree(work / "trash", ignore_errors=True)
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
