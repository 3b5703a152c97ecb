#!/usr/bin/env bash
# Runs a Windows test binary under Wine with a prefix kept inside the build folder that holds the
# binary (the nearest ancestor with a CMakeCache.txt), so builds never share or pollute ~/.wine.
# The program's own kind picks the Wine: a PE32 (the shipped 32-bit patcher) runs under 32-bit Wine
# in a WINEARCH=win32 prefix, a PE32+ under wine64 in a 64-bit one.
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
# The optional header's magic, at the PE header (offset named at 0x3c) + 24: 0x10b PE32, 0x20b PE32+.
pe_magic() {
    local at
    at=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    od -An -t x2 -j $((at + 24)) -N 2 "$1" | tr -d ' '
}
case $(pe_magic "$exe") in
    010b)
        wine=/usr/lib/wine/wine
        wineserver=/usr/lib/wine/wineserver32
        export WINEARCH=win32
        if [ ! -x "$wine" ]; then
            echo "wine-run: $exe is a 32-bit program and 32-bit Wine is not installed" >&2
            exit 127
        fi
        ;;
    *)
        wine=/usr/lib/wine/wine64
        wineserver=/usr/lib/wine/wineserver64
        ;;
esac
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
            "$wineserver" -w 2>/dev/null || true
        done
    ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$exe" "$@"
