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
# A boot cut short leaves a prefix with a registry but without kernel32.dll, from which Wine can
# start nothing and which it never repairs by itself (we saw one stop a second after it began, with
# only winedevice.exe copied): such a prefix is booted again from nothing.
kernel32=$WINEPREFIX/drive_c/windows/system32/kernel32.dll
if [ ! -f "$kernel32" ]; then
    mkdir -p "$WINEPREFIX"
    # Several tests may start at once: only one of them creates the prefix.
    (
        flock 9
        for attempt in 1 2 3; do
            [ -f "$kernel32" ] && break
            [ "$attempt" = 1 ] || echo "wine-run: booting $WINEPREFIX again" >&2
            find "$WINEPREFIX" -mindepth 1 -delete
            "$wine" wineboot -i >/dev/null 2>&1 || true
            /usr/lib/wine/wineserver64 -w 2>/dev/null || true
        done
    ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$exe" "$@"
