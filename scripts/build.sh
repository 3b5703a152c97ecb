#!/usr/bin/env bash
# Configures and builds the three builds of this tree: build/native, build/win64, build/win32.
# Usage: scripts/build.sh [native|win64|win32|fuzz|bench ...]   (the first three when none is named)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native win64 win32)

configure() {
    local dir=$1
    shift
    if [ ! -f "$root/build/$dir/build.ninja" ]; then
        cmake -S "$root" -B "$root/build/$dir" -G Ninja "$@" >/dev/null
    fi
}

for t in "${targets[@]}"; do
    case $t in
        native) configure native ;;
        win64) configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" ;;
        win32) configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" ;;
        fuzz) CC=clang CXX=clang++ configure fuzz -DGARUN2_FUZZ=ON ;;
        bench) configure bench -DGARUN2_BENCH=ON -DCMAKE_BUILD_TYPE=Release ;;
        *) echo "unknown build: $t" >&2; exit 2 ;;
    esac
    echo "build: $t"
    cmake --build "$root/build/$t" -j "$jobs"
done
