#!/bin/bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# SECONDS_PER_TARGET defaults to 60; the targets default to all three
# (model_input, binomial_table, computation). The build goes to
# $QUEUECALC_FUZZ_BUILD (default: build-fuzz beside this script's folder).
# Each target starts from the seeds in fuzz/corpus/<target> (with the number
# tokens of fuzz/values.dict for its mutations) and keeps what it
# learns in <build>/corpus/<target>, never in the source tree; a crash leaves
# its input as <build>/crash-* and makes the script fail. One process per
# target, one after the other, so that the run uses a single core.
set -euo pipefail

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(model_input binomial_table computation)

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${QUEUECALC_FUZZ_BUILD:-$source_dir/build-fuzz}

CXX=clang++ cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUEUECALC_FUZZ=ON -DQUEUECALC_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    cp -n "$source_dir/fuzz/corpus/$target/"* "$corpus/" 2>/dev/null || true
    log="$build/fuzz_$target.log"
    echo "== fuzz_$target: $seconds s"
    if (cd "$build" && "./fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
            -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
            -dict="$source_dir/fuzz/values.dict" "$corpus" >"$log" 2>&1); then
        grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+ *DONE" "$log" || true
    else
        status=1
        echo "fuzz_$target FAILED; see $log"
        grep -E "ERROR|property violated|runtime error" "$log" | head -5 || true
    fi
done
exit $status
