#!/usr/bin/env bash
# Builds the fuzzing targets with clang and runs each for SECONDS (default 60).
# Inputs found along the way are kept in build-fuzz/corpus/, so a later run
# goes on from there; a failing input is left as build-fuzz/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DONDRIL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"
run() {
    local name=$1
    shift
    mkdir -p "build-fuzz/corpus/$name"
    echo "fuzzing $name for $seconds s"
    (cd build-fuzz && QT_QPA_PLATFORM=offscreen "./${name}_fuzzer" -max_total_time="$seconds" \
        -print_final_stats=1 "$@" "corpus/$name" "../fuzz/seeds/$name" 2>&1 | grep -E 'stat::|ERROR|SUMMARY|Test unit written')
}
run interval
run reply_decoder
# A reply of a few lines is what the box meets; longer inputs only slow the
# search. Qt's font and layout caches grow as inputs come, which the per-input
# leak check takes for leaks; leaks are still checked when the run ends.
run receive_box -max_len=1024 -detect_leaks=0
