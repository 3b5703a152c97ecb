#!/usr/bin/env bash
# Runs a Windows test binary under wine64 with a prefix kept inside the build folder that holds the
# binary (the nearest ancestor with a CMakeCache.txt), so builds never share or pollute ~/.wine.
set -euo pipefail
exe=$1
shift
dir=$(cd "$(dirname "$exe")" && pwd)
build=$dir
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ "$build" != / ] || build=$dir
export WINEPREFIX=${GARUN2_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Several tests may start at once: only one of them creates the prefix.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine" wineboot -i >/dev/null 2>&1 || true
            /usr/lib/wine/wineserver64 -w 2>/dev/null || wineserver -w 2>/dev/null || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$exe" "$@"
