#!/usr/bin/env bash
# Builds the operator tool and the 64-bit patcher, then measures the update of a pack (64 MiB of
# random or text-like bytes) from an old copy in three cases (scattered overwrites, an insertion, an
# append): the bytes nginx sent and the wall time, against the same update without the old copy,
# zsync from the same nginx, what zchunk would download, and the delta sizes of xdelta3 and zstd.
# See scripts/bench_chunked.py for the options (--keep DIR, --serve, --rate RATE, --data KIND).
# Usage: scripts/bench-chunked.sh [--keep DIR [--serve]] [--rate RATE] [--mib N] [--cases abc]
#                                 [--data random|text]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" tool win64 >/dev/null
exec python3 "$root/scripts/bench_chunked.py" "$@"
