#!/usr/bin/env bash
# The main job, end to end on one machine: installs what is missing, builds the operator build of the
# release tool (build/tool) and the patcher, publishes a small signed demo release, serves it over
# HTTPS on localhost and runs the patcher against it under wine64. Run it again and it finds the
# release it accepted before.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh tool win64 >/dev/null
exec python3 scripts/demo.py "$@"
