#!/usr/bin/env bash
# Builds the operator tool and both patcher builds, then times the shipped 32-bit exe (where 32-bit
# Wine runs) and the 64-bit build in one run: a full check of 2 GiB in 500 files against
# `openssl dgst -sha256` of the same files; an update of 1 GiB in 200 files into an empty folder
# against the same build's winhttp-floor of those files and `curl --http1.1 --parallel
# --parallel-max 16`, from the same nginx over loopback TLS; and an
# install of a real game's file sizes (4,605 files, 388 MiB) against the same build's
# winhttp-floor (bare WinHTTP under the same Wine) and the same curl; with the peak memory of each.
# See scripts/bench_patcher.py for the options (--only check|update|install, --keep DIR,
# --rounds N, smaller trees).
# Usage: scripts/bench-patcher.sh [--only MODE] [--keep DIR] [--rounds N] [--check-files N ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
builds=(tool win64)
/usr/lib/wine/wine --version >/dev/null 2>&1 && builds+=(win32)
bash "$root/scripts/build.sh" "${builds[@]}" >/dev/null
exec python3 "$root/scripts/bench_patcher.py" "$@"
