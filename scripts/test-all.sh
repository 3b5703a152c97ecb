#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine to a verdict: installs what is missing, builds the native,
# win64, win32 and core32 builds, runs every test (the Windows ones under Wine and Xvfb: the shipped
# 32-bit exe under 32-bit Wine where the kernel runs i386 programs, the 64-bit build under wine64;
# the 32-bit Linux ones directly or under qemu), builds the shipped exe twice more from clones of HEAD
# to show that it is reproducible, and ends with one line "N passed, N failed". Exit
# status 0 only when nothing failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh || { echo "0 passed, 1 failed"; exit 1; }
if ! bash scripts/build.sh native win64 win32 core32; then
    echo "build failed"
    echo "0 passed, 1 failed"
    exit 1
fi

run_ctest() {
    local dir=$1
    shift
    rm -rf "$dir/test-results"/*.xml
    (cd "$dir" && "$@" ctest --output-on-failure --output-junit ctest-junit.xml -j "$(nproc)")
}

python3 tests/e2e/ca_setup.py >/dev/null || echo "test CA setup failed"  # HTTPS scenarios trust it
run_ctest build/native
run_ctest build/core32
# Windows tests may create windows: give them a display of their own. The end-to-end suite runs in
# the win32 build when 32-bit Wine is there (cmake/wine.cmake), else in the win64 build.
run_ctest build/win32 xvfb-run -a -s "-screen 0 1280x1024x24"
run_ctest build/win64 xvfb-run -a -s "-screen 0 1280x1024x24"
# The shipped exe built twice more, from two clones of HEAD in unlike folders, compared byte for byte.
bash scripts/check-reproducible.sh
if [ -x scripts/fuzz.sh ]; then
    bash scripts/fuzz.sh --short
fi

echo
echo "summary:"
python3 scripts/summary.py build/native build/win32 build/core32 build/win64 build/fuzz \
    build/reproducible
