#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a
# short time (FUZZ_SECONDS, 20 by default) from its seed corpus, which stays
# untouched: new inputs go to a scratch copy. Prints runs, runs per second and
# whether anything was found; a crash leaves its input in build-fuzz/crashes/
# and makes the script fail.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${FUZZ_SECONDS:-20}
build=build-fuzz
targets=(listing_parser_fuzz reply_reader_fuzz site_line_fuzz comma_text_fuzz ini_file_fuzz
    socks_answer_fuzz server_features_fuzz)

if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON \
        -DCORVANE_BENCH=OFF ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER}
fi
cmake --build "$build" --target "${targets[@]}"

mkdir -p "$build/crashes"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
for target in "${targets[@]}"; do
    mkdir -p "$scratch/$target"
    log=$scratch/$target.log
    status=0
    # The SOCKS target plays each input over loopback, so one run takes longer.
    QT_QPA_PLATFORM=offscreen "$build/fuzz/$target" -max_total_time="$seconds" \
        -print_final_stats=1 -timeout=10 -artifact_prefix="$build/crashes/$target-" \
        "$scratch/$target" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    time=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    if ((status == 0)); then
        echo "$target: ${runs:-?} runs, ${time:-?} runs/s, nothing found"
    else
        failed=1
        echo "$target: FOUND after ${runs:-?} runs (exit $status):"
        grep -E '^(==|SUMMARY|.*runtime error)' "$log" | head -n 5 || tail -n 20 "$log"
        ls "$build/crashes" | grep "^$target-" || true
    fi
done
exit $failed
