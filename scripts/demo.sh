#!/usr/bin/env bash
# The main job, end to end on one machine: installs what is missing, builds the operator build of the
# release tool (build/tool) and the patcher, publishes a small signed demo release, serves it over
# HTTPS on localhost and runs the patcher against it: the shipped 32-bit exe under 32-bit Wine where
# the kernel runs i386 programs, else the 64-bit build under wine64. Run it again and it finds the
# release it accepted before.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
# 32-bit Wine's loader is itself an i386 program: its starting at all says both are there.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    build=win32
    echo "demo: running the shipped 32-bit exe (build/win32) under 32-bit Wine"
else
    build=win64
    echo "demo: running the 64-bit build (build/win64) under wine64: 32-bit Wine unavailable"
fi
bash scripts/build.sh tool "$build" >/dev/null
GARUN2_DEMO_BUILD=$build exec python3 scripts/demo.py "$@"
