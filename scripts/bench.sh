#!/usr/bin/env bash
# Benchmarks: builds (optimised, no sanitizers) and runs the pattern matcher's benchmark, which
# prints Google Benchmark's lines and then, from the same run, the matcher against std::regex
# and PCRE2 side by side and its scaling on a hostile list-page line. Extra arguments go to the
# benchmark program (for example --benchmark_filter=scaling).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cmake -S "$TT_ROOT" -B "$TT_BUILD/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTT_BENCH=ON \
    -DTT_WERROR="${TT_WERROR:-ON}" >/dev/null || exit 1
cmake --build "$TT_BUILD/bench" -j "$TT_JOBS" --target bench_pattern_matcher || exit 1
exec "$TT_BUILD/bench/bench/bench_pattern_matcher" "$@"
