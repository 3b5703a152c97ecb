#!/usr/bin/env bash
# Builds the operator tool and the 64-bit patcher, then measures a first install of a partly
# compressible tree (code, text-like data and media, about 150 MB) from a release with compressed
# forms and from the same release without its forms.txt: the bytes nginx sent against zstd -19 of
# each file, the wall time, CPU time and peak memory; and an install of a random tree (no forms),
# with an older build beside it under --old-exe EXE. See scripts/bench_forms.py for the options.
# Usage: scripts/bench-forms.sh [--keep DIR [--serve]] [--rate RATE] [--mb N] [--random-mib N]
#                               [--old-exe EXE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" tool win64 >/dev/null
exec python3 "$root/scripts/bench_forms.py" "$@"
