#!/usr/bin/env bash
# Builds the operator tool and the patcher, then measures the start check of an unchanged install
# of 2 GiB in 500 files with the verified-file records: the bytes each check read and its wall time
# against a check of a one-file release. See scripts/bench_records.py.
# Usage: scripts/bench-records.sh [--keep DIR] [--build win32|win64] [--runs N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" tool win32 win64 >/dev/null
exec python3 "$root/scripts/bench_records.py" "$@"
