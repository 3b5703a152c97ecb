#!/usr/bin/env bash
# Builds the shipped exe of one commit twice, from two clones in two unlike folders, and compares the
# bytes: what an operator or a player does to check a published Velmor2Launcher.exe against the
# source. The exe carries the CRC of its debug file, so equal exes mean equal debug files too.
# Usage: scripts/check-reproducible.sh [COMMIT]   (default HEAD; uncommitted changes are not built)
# Writes build/reproducible/ctest-junit.xml for scripts/summary.py; exit status 0 when equal.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}") || exit 2
results="$root/build/reproducible"
mkdir -p "$results"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One clone builds inside itself, as scripts/build.sh does; the other in a folder elsewhere, both
# at paths of other names and lengths.
build() {
    local source=$1 binary=$2
    git clone -q --shared --no-checkout "$root" "$source" &&
        git -C "$source" checkout -q --detach "$commit" &&
        bash "$source/scripts/build-zstd.sh" win32 &&
        cmake -S "$source" -B "$binary" -G Ninja -DGARUN2_TESTS=OFF \
            -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-i686.cmake" >/dev/null &&
        cmake --build "$binary" --target Velmor2Launcher >/dev/null
}

failure=
if ! build "$work/a/garun2" "$work/a/garun2/build/win32"; then
    failure="the first build failed"
elif ! build "$work/second-checkout/src/patcher" "$work/out-of-tree"; then
    failure="the second build failed"
else
    first="$work/a/garun2/build/win32/app/Velmor2Launcher.exe"
    second="$work/out-of-tree/app/Velmor2Launcher.exe"
    if ! cmp -s "$first" "$second"; then
        failure="the two exes differ: $(cmp "$first" "$second" | head -1); $(cmp -l "$first" \
            "$second" | wc -l) bytes"
        cmp -s "$first.debug" "$second.debug" || failure+="; the debug files differ too"
        cp "$first" "$results/first.exe"
        cp "$second" "$results/second.exe"
    fi
fi

name="win32_exe_reproducible"
if [ -z "$failure" ]; then
    echo "reproducible: $commit gives the same Velmor2Launcher.exe ($(sha256sum <"$first" |
        cut -c1-64)) from both folders"
    printf '<testsuite tests="1"><testcase name="%s" status="run"/></testsuite>\n' "$name" \
        >"$results/ctest-junit.xml"
    exit 0
fi
echo "reproducible: FAILED for $commit: $failure"
printf '<testsuite tests="1"><testcase name="%s" status="fail"><failure message="%s"/></testcase></testsuite>\n' \
    "$name" "${failure//\"/\'}" >"$results/ctest-junit.xml"
exit 1
