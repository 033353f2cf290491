#!/usr/bin/env bash
# Fuzzing: `scripts/fuzz.sh SECONDS` builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS; `scripts/fuzz.sh build` only builds them.
# Each target starts from the seeds in fuzz/corpus/<name>/ and keeps what it finds in
# $TT_BUILD/fuzz/corpus-<name>/. Exit code 0 when no target found a fault.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

tt_build_fuzz() {
    cmake -S "$TT_ROOT" -B "$TT_BUILD/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTT_FUZZ=ON \
        -DTT_WERROR="${TT_WERROR:-ON}" >/dev/null &&
        cmake --build "$TT_BUILD/fuzz" -j "$TT_JOBS" --target fuzzers
}

# The working corpus of one target, seeded from the repository's.
tt_fuzz_corpus() {  # fuzzer executable
    local name
    name=$(basename "$1")
    name=${name#fuzz_}
    local dir=$TT_BUILD/fuzz/corpus-$name
    mkdir -p "$dir"
    if [[ -d $TT_ROOT/fuzz/corpus/$name ]]; then
        cp -n "$TT_ROOT/fuzz/corpus/$name"/* "$dir"/ 2>/dev/null || true
    fi
    echo "$dir"
}

# Seconds for one target in the test command: the pattern matcher and the URL splitter, the
# most intricate code, run longest; the readers of server files and pages briefly.
tt_fuzz_seconds() {  # fuzzer executable
    case $(basename "$1") in
        fuzz_pattern_matcher | fuzz_split_url) echo "${TT_FUZZ_SECONDS:-20}" ;;
        *) echo "${TT_FUZZ_SHORT_SECONDS:-8}" ;;
    esac
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    arg=${1:-}
    if [[ -z $arg ]]; then
        echo "usage: $0 SECONDS | build" >&2
        exit 2
    fi
    tt_build_fuzz || exit 1
    [[ $arg == build ]] && exit 0
    status=0
    for f in "$TT_BUILD"/fuzz/fuzz/fuzz_*; do
        [[ -x $f ]] || continue
        echo "== $(basename "$f") for ${arg}s"
        corpus=$(tt_fuzz_corpus "$f")
        if ! "$f" -max_total_time="$arg" -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
            -artifact_prefix="$TT_BUILD/fuzz/" "$corpus" 2>&1 | tail -n 25; then
            status=1
        fi
    done
    exit $status
fi
