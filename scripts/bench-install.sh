#!/usr/bin/env bash
# A many-file install at the wire's speed: `--headless --update` into an empty folder of a release
# with the file sizes of a real game (bench/data/game_file_sizes.txt: 4,605 files, 388 MiB, most
# of them small, in nested folders), for the shipped 32-bit exe (where 32-bit Wine runs) and the
# 64-bit build, each beside its own build's winhttp-floor (bare WinHTTP, eight threads, bodies
# thrown away, under the same Wine and prefix), the same floor writing each body to a file (then
# also flushing each), and `curl --http1.1 --parallel --parallel-max 16`,
# all from the same nginx over loopback TLS; prints wall, CPU and peak memory of each and each
# patcher's ratio to its floor. Takes bench-patcher.sh's options (--rounds N, --keep DIR).
set -euo pipefail
exec bash "$(dirname "$0")/bench-patcher.sh" --only install "$@"
