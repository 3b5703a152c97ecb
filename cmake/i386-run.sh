#!/usr/bin/env bash
# Runs a 32-bit x86 Linux test binary: directly where the kernel runs such programs (so the CPU's
# own SHA extensions are used where it has them), else under qemu-i386-static, whose CPU has none.
# GARUN2_I386_RUNNER=qemu forces qemu. The binaries here are GoogleTest's: listing their cases is
# a harmless way to find out whether they start at all.
set -euo pipefail
exe=$1
shift
if [ "${GARUN2_I386_RUNNER:-}" != qemu ] && "$exe" --gtest_list_tests >/dev/null 2>&1; then
    exec "$exe" "$@"
fi
exec qemu-i386-static "$exe" "$@"
