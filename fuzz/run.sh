#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) and runs each for the
# given number of seconds (default 60), starting from the checked-in seeds
# and dictionary of its format. A crash, leak, timeout (one input over 10 s)
# or sanitizer report fails the script; the input that caused it is kept in
# build-fuzz/findings/ and its report in build-fuzz/logs/.
#
#   fuzz/run.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

secs=${1:-60}
build=${VEXTA_FUZZ_BUILD:-build-fuzz}
jobs=$(nproc 2>/dev/null || echo 2)
cxx=$(command -v clang++-14 || command -v clang++)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
    -DVEXTA_BUILD_FUZZ=ON -DVEXTA_BUILD_TESTS=OFF -DVEXTA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs"

mkdir -p "$build/findings" "$build/logs"
failed=()
for name in argfile corpus model_file pool_file hash_file conllu lexicon; do
    # The corpus grows in a scratch copy; the checked-in seeds stay as they are.
    work=$(mktemp -d)
    # Every input passes through files of the harness's scratch directory:
    # in memory (/dev/shm) where the machine has it, since rewriting files on
    # a disk costs more than the code under test.
    scratch=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
    log="$build/logs/$name.log"
    if TMPDIR="$scratch" "$build/fuzz/fuzz_$name" "$work" "fuzz/corpus/$name" -dict="fuzz/$name.dict" \
        -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$name-" </dev/null >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        echo "fuzz_$name: ok, $runs runs, $rate/s"
    elif grep -q 'LeakSanitizer has encountered a fatal error' "$log" &&
        ! grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer: detected)|runtime error:|Test unit written|ERROR: libFuzzer' "$log"; then
        # The leak check at exit could not inspect the process (it needs
        # ptrace and /proc, which some sandboxes deny): no finding, but say so.
        echo "fuzz_$name: ok, but the leak check at exit could not run (see $log)"
    else
        echo "fuzz_$name: FINDING (report: $log)"
        grep -E '^(==[0-9]+==|SUMMARY|artifact_prefix|Test unit written)' "$log" | head -20 || true
        failed+=("$name")
    fi
    rm -rf "$work" "$scratch"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "findings in: ${failed[*]} (inputs in $build/findings/)"
    exit 1
fi
