#!/usr/bin/env bash
# Builds the operator build (build/tool) and times `garun2-release manifest` over a tree of files
# against `openssl dgst -sha256` over the same files, in turns (tool, openssl, tool, ...) after one
# warm-up run of each, and prints the median wall and CPU seconds of each and their ratio. The tree
# (random bytes, sizes from 4 KiB to several MiB) is made in a temporary folder and deleted
# afterwards; with --keep DIR it is made in DIR and kept, and the two commands are printed instead
# of timed, for timing them with another tool.
# Usage: scripts/bench-release-tool.sh [--keep DIR] [files] [total-MiB] [rounds]
#        (defaults 300 files, 300 MiB, 5 rounds)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
keep=
if [ "${1:-}" = --keep ]; then
    keep=$2
    shift 2
fi
files=${1:-300}
mib=${2:-300}
rounds=${3:-5}
bash "$root/scripts/build.sh" tool >/dev/null
tool="$root/build/tool/tools/release/garun2-release"

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    work=$(cd "$keep" && pwd)
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi

PYTHONPATH="$root/scripts" python3 - "$tool" "$work/game" "$files" "$mib" "$rounds" "$keep" <<'PY'
import os, resource, shlex, statistics, subprocess, sys, time

from bench_tree import make_tree

tool, tree, count, mib, rounds, keep = sys.argv[1:]
count, total, rounds = int(count), int(mib) << 20, int(rounds)

paths = make_tree(tree, count, total)
sizes = [os.path.getsize(p) for p in paths]

ours = [tool, "manifest", tree, "--base-url", "https://bench.example/live", "--version", "1.0.0",
        "--channel", "bench", "--counter", "1", "--expires", "2099-01-01T00:00:00Z"]
theirs = ["openssl", "dgst", "-sha256", *paths]
print(f"tree: {count} files, {sum(sizes) / 2**20:.0f} MiB in {tree}")
if keep:
    print("tool:    " + shlex.join(ours))
    print("openssl: " + shlex.join(theirs))
    sys.exit(0)


def run(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    return wall, cpu


run(ours)
run(theirs)
times = {"garun2-release manifest": [], "openssl dgst -sha256": []}
for _ in range(rounds):
    times["garun2-release manifest"].append(run(ours))
    times["openssl dgst -sha256"].append(run(theirs))
medians = {}
for name, runs in times.items():
    medians[name] = [statistics.median(r[i] for r in runs) for i in (0, 1)]
    print(f"{name:<24} median wall {medians[name][0]:.3f} s, CPU {medians[name][1]:.3f} s "
          f"({rounds} runs)")
ratio = [a / b for a, b in zip(*medians.values())]
print(f"tool / openssl: wall {ratio[0]:.2f}x, CPU {ratio[1]:.2f}x "
      f"(within 10%: {'yes' if max(ratio) <= 1.10 else 'no'})")
PY
