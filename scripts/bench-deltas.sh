#!/usr/bin/env bash
# Builds the operator tool and the 64-bit patcher, then measures the update of real rebuilt
# binaries from Debian's archive (bookworm against bookworm-security) with the publisher's deltas:
# the bytes nginx sent beside zstd --patch-from, xdelta3, zchunk, zsync and the patcher's chunk
# path, and the publish's time and memory with and without deltas. See scripts/bench_deltas.py.
# Usage: scripts/bench-deltas.sh [--keep DIR] [--pairs NAME,...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" tool win64 >/dev/null
exec python3 "$root/scripts/bench_deltas.py" "$@"
