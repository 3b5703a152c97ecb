#!/usr/bin/env bash
# One time-bounded libFuzzer run of a harness on a scratch copy of its seed corpus.
# Usage: run-harness.sh HARNESS SEED_DIR WORK_DIR SECONDS
# Prints libFuzzer's final statistics; any crash, leak or sanitizer report fails the run, and the
# reproducer is left in WORK_DIR/artifacts.
set -euo pipefail
harness=$1 seeds=$2 work=$3 seconds=$4
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cp "$seeds"/* "$work/corpus/"
exec "$harness" "$work/corpus" -max_total_time="$seconds" -max_len=20000 -timeout=10 \
    -rss_limit_mb=1024 -dict="$here/documents.dict" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/"
