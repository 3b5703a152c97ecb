#!/usr/bin/env bash
# Builds the libFuzzer harnesses (build/fuzz, clang, ASan+UBSan) and runs them.
#   scripts/fuzz.sh --short       every harness briefly through CTest (writes ctest-junit.xml)
#   scripts/fuzz.sh --seconds N   every harness N seconds, one after the other, then the number of
#                                 executions of each
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:---short}

# A stale result must not stand in for this run; a build failure is reported as one failed test.
rm -f "$root/build/fuzz/ctest-junit.xml"
if ! bash "$root/scripts/build.sh" fuzz; then
    mkdir -p "$root/build/fuzz"
    cat >"$root/build/fuzz/ctest-junit.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="fuzz" tests="1" failures="1"><testcase name="fuzz_build" status="fail"><failure message="the fuzz build failed"/></testcase></testsuite>
XML
    echo "fuzz build failed" >&2
    exit 1
fi
cd "$root/build/fuzz"

case $mode in
    --short)
        ctest --output-on-failure --output-junit ctest-junit.xml -j "$(nproc)"
        ;;
    --seconds)
        seconds=${2:?usage: scripts/fuzz.sh --seconds N}
        status=0
        report=()
        for harness in fuzz/fuzz_*; do
            [ -x "$harness" ] || continue
            name=$(basename "$harness")
            corpus=${name#fuzz_}
            log="$root/build/fuzz/work/$corpus.log"
            mkdir -p "$(dirname "$log")"
            if bash "$root/fuzz/run-harness.sh" "$harness" "$root/fuzz/corpus/$corpus" \
                "$root/build/fuzz/work/$corpus" "$seconds" >"$log" 2>&1; then
                result=ok
            else
                result="FAILED (see $log)"
                status=1
            fi
            execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
            units=$(ls "$root/build/fuzz/work/$corpus/corpus" | wc -l)
            report+=("$(printf '%-28s %12s executions  %6s corpus units  %s' \
                "$name" "${execs:-?}" "$units" "$result")")
        done
        printf '%s\n' "${report[@]}"
        exit $status
        ;;
    *)
        echo "usage: scripts/fuzz.sh [--short | --seconds N]" >&2
        exit 2
        ;;
esac
