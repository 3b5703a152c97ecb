#!/usr/bin/env bash
# Builds the benchmarks (build/bench: Release, no sanitizers) and runs the install diff benchmark:
# ComputeDiff at level full over an up-to-date tree of 1,000 files totalling 2 GiB, against
# `openssl dgst -sha256` over the same files and against the diff on one thread, in one run.
# The tree is made in a temporary folder and deleted afterwards.
# Usage: scripts/bench-diff.sh [files] [total-MiB] [rounds]   (defaults 1000 2048 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Only this benchmark's target is built, so that work in progress elsewhere in the tree cannot
# stop it.
if [ ! -f "$root/build/bench/build.ninja" ]; then
    cmake -S "$root" -B "$root/build/bench" -G Ninja -DGARUN2_BENCH=ON -DCMAKE_BUILD_TYPE=Release \
        >/dev/null
fi
cmake --build "$root/build/bench" --target install_diff_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/build/bench/bench/install_diff_bench" "$work/tree" "${1:-1000}" "${2:-2048}" "${3:-3}"
