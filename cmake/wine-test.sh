#!/usr/bin/env bash
# Runs a Windows test binary through wine-run.sh with its output going to files that are copied to
# our own output as they grow. Wine's system processes (services.exe, explorer.exe, winedevice.exe)
# are started by whichever Windows process first needs them and inherit its standard handles; when
# those are ctest's pipes, ctest waits for an end of file that comes only when the wineserver shuts
# down, and a binary whose every test has passed runs into its time-out.
set -uo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
: >"$out/stdout"
: >"$out/stderr"  # before the copies start following them
"$(dirname "$0")/wine-run.sh" "$@" </dev/null >>"$out/stdout" 2>>"$out/stderr" &
pid=$!
tail -s 0.1 -n +1 --pid="$pid" -f "$out/stdout" &
copy_out=$!
tail -s 0.1 -n +1 --pid="$pid" -f "$out/stderr" >&2 &
copy_err=$!
wait "$pid"
status=$?
wait "$copy_out" "$copy_err"
exit $status
