#!/usr/bin/env bash
# Builds the operator tool and the patcher, then measures a release of 100,000 files: the tool's
# publish and validate, the patcher's install, unchanged check, one-file update and the window's
# start check, with peak memory and the metadata bytes fetched. See scripts/bench_shards.py.
# Usage: scripts/bench-shards.sh [--keep DIR] [--build win32|win64] [--files N] [--runs N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" tool win32 win64 >/dev/null
exec python3 "$root/scripts/bench_shards.py" "$@"
