#!/usr/bin/env bash
# Download throughput alone: `--headless --update` of 1 GiB in 200 files into an empty folder, for
# the shipped 32-bit exe (where 32-bit Wine runs) and the 64-bit build, against each build's
# winhttp-floor (bare WinHTTP, eight threads, bodies thrown away) and
# `curl --http1.1 --parallel --parallel-max 16` of the same files from the same nginx over loopback
# TLS; prints wall, CPU and peak memory of each and the ratios to curl and to the floor. Takes
# bench-patcher.sh's options (--rounds N, --update-files N, --update-mib N, --keep DIR).
set -euo pipefail
exec bash "$(dirname "$0")/bench-patcher.sh" --only update "$@"
