#!/usr/bin/env bash
# Configures and builds the builds of this tree, each in build/NAME: native, win64, win32 and core32
# (the tested builds; the four when none is named), tool (the operator's garun2-release: optimised,
# no sanitizers, no tests), fuzz and bench.
# Usage: scripts/build.sh [native|win64|win32|core32|tool|fuzz|bench ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native win64 win32 core32)

configure() {
    local dir=$1
    shift
    if [ ! -f "$root/build/$dir/build.ninja" ]; then
        cmake -S "$root" -B "$root/build/$dir" -G Ninja "$@" >/dev/null
    fi
}

zstd() { bash "$root/scripts/build-zstd.sh" "$1"; }

for t in "${targets[@]}"; do
    case $t in
        native) configure native ;;
        win64)
            zstd win64
            configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" ;;
        win32)
            zstd win32
            configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" ;;
        core32)
            zstd core32
            configure core32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i386.cmake" \
                -DGARUN2_SANITIZE=OFF ;;
        tool) configure tool -DCMAKE_BUILD_TYPE=Release -DGARUN2_SANITIZE=OFF -DGARUN2_TESTS=OFF ;;
        fuzz) CC=clang CXX=clang++ configure fuzz -DGARUN2_FUZZ=ON ;;
        bench) configure bench -DGARUN2_BENCH=ON -DCMAKE_BUILD_TYPE=Release ;;
        *) echo "unknown build: $t" >&2; exit 2 ;;
    esac
    echo "build: $t"
    cmake --build "$root/build/$t" -j "$jobs"
done
