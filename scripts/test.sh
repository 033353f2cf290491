#!/usr/bin/env bash
# The test command. On a fresh Debian 12 machine (as root) it installs what is missing, builds
# the native and the Windows builds, runs the native tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows tests under Wine in a fresh prefix of their own inside
# a virtual X display, short fuzzing runs, and ends with one line "N passed, N failed".
set -uo pipefail
source "$(dirname "$0")/lib.sh"

bash "$TT_ROOT/scripts/setup.sh" || exit 1

LOGS=$TT_BUILD/test-logs
mkdir -p "$LOGS"
passed=0
failed=0

# What the steps start in the background (stand-in servers) is named here, so that an
# interrupted run leaves nothing behind: those, the virtual display and our Wine prefix's server.
tt_children=()
cleanup() {
    trap - EXIT INT TERM
    local pid
    for pid in "${tt_children[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    tt_stop_xvfb
    [[ -n ${WINESERVER:-} && -n ${WINEPREFIX:-} ]] && "$WINESERVER" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'echo "interrupted"; exit 130' INT TERM

fail_step() {  # name: a step that is not a test program (a build) counts as one failure
    echo "FAILED: $1 (log: $LOGS/$1.log)"
    tail -n 40 "$LOGS/$1.log"
    failed=$((failed + 1))
}

step() {  # name, command...: runs a build step quietly, its output kept in the log
    local name=$1
    shift
    echo "== $name"
    if ! "$@" >"$LOGS/$name.log" 2>&1; then
        fail_step "$name"
        return 1
    fi
}

# A step that needs every one of its tests to run sets TT_REQUIRE_ALL=1: then a skipped test,
# or no test at all, counts as a failure instead of passing unnoticed.
run_gtest() {  # name, command...: runs a GoogleTest program and adds its counts
    local name=$1
    shift
    echo "== $name"
    "$@" --gtest_color=no >"$LOGS/$name.log" 2>&1
    count_gtest "$name" "$LOGS/$name.log" $?
}

count_gtest() {  # name, log, exit code: adds the counts of a GoogleTest program that has run
    local name=$1 log=$2 rc=$3
    local p f
    p=$(grep -aE '^\[  PASSED  \] [0-9]+ test' "$log" | tail -n1 | grep -oE '[0-9]+' | head -n1)
    f=$(grep -aE '^\[  FAILED  \] [0-9]+ test' "$log" | tail -n1 | grep -oE '[0-9]+' | head -n1)
    p=${p:-0}
    f=${f:-0}
    if ((rc != 0 && f == 0)); then
        f=1  # crashed or never reached its summary
        echo "   $name exited with $rc before its summary"
        tail -n 30 "$log"
    fi
    grep -aE '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u | sed 's/^/   /'
    if [[ -n ${TT_REQUIRE_ALL:-} ]]; then
        local skipped
        skipped=$(grep -aE '^\[  SKIPPED \] [A-Za-z]' "$log" | sed 's/ (.*//' | sort -u | wc -l)
        if ((skipped > 0 || p == 0)); then
            echo "   $name: $skipped test(s) skipped, $p passed: the step did not run"
            grep -aE '^\[  SKIPPED \] [A-Za-z]' "$log" | sort -u | sed 's/^/   /'
            f=$((f + 1))
        fi
    fi
    echo "   $p passed, $f failed"
    passed=$((passed + p))
    failed=$((failed + f))
}

run_check() {  # name, command...: a program that is one test: exit code 0 passes
    local name=$1
    shift
    echo "== $name"
    if "$@" >"$LOGS/$name.log" 2>&1; then
        passed=$((passed + 1))
    else
        fail_step "$name"
    fi
}

# Native: the portable core under the sanitizers.
if step native-build tt_build_native; then
    run_gtest native-unit-tests "$TT_BUILD/native/tests/unit_tests"
fi
# The include-graph check the build runs, on planted upward includes.
run_check layer-checker python3 "$TT_ROOT/tools/tests/test_check_layers.py"
# The command source's reader refuses a source whose buttons, menus and pictures disagree.
run_check command-source python3 "$TT_ROOT/tools/tests/test_gen_commands.py"

# Every C++ file as .clang-format lays it out (the generated COM defaults aside).
check_format() (
    cd "$TT_ROOT" && git ls-files '*.cpp' '*.h' | grep -vx 'tests/host/com_defaults_win.h' |
        xargs clang-format --dry-run -Werror
)
run_check format check_format

# Windows, 64-bit: runs here under Wine.
win64_built=0
if step win64-build tt_build_windows x86_64; then
    win64_built=1
    tt_wine_fresh_prefix win64
    tt_start_xvfb
    run_gtest win64-unit-tests tt_wine "$TT_BUILD/win-x86_64/tests/unit_tests.exe"
    # Pictures the tests keep (the toolbar screenshot) end up in $TT_BUILD/artifacts.
    mkdir -p "$TT_BUILD/artifacts"
    cp -f "$TT_BUILD"/win-x86_64/tests/artifacts/* "$TT_BUILD/artifacts/" 2>/dev/null || true
    for t in "$TT_ROOT"/scripts/tests.d/*.sh; do
        [[ -e $t ]] || continue
        source "$t"
    done
    tt_stop_xvfb
    "$WINESERVER" -k >/dev/null 2>&1 || true
fi

# Windows, 32-bit: the shipped DLL and the 32-bit test programs, run in the emulated 32-bit
# guest (scripts/test32.sh), since most machines of this kind run no 32-bit code.
build_win32() { TT_TARGETS="TavelleToolbarIE module_tests unit_tests tavelle_test_host" tt_build_windows i686; }
stage32_started=$SECONDS
if step win32-build build_win32; then
    # Both shipped modules, read rather than run: imports, exports, header, type library.
    run_check module-x86-checks python3 "$TT_ROOT/tools/check_module.py" --arch x86 \
        --imports "$TT_ROOT/src/module/imports_x86.txt" "$TT_BUILD/win-i686/src/module/TavelleToolbarIE.dll"
    run_check module-x64-checks python3 "$TT_ROOT/tools/check_module.py" --arch x64 \
        "$TT_BUILD/win-x86_64/src/module/TavelleToolbarIE.dll"
    run_check module-checker env TT_BUILD="$TT_BUILD" python3 "$TT_ROOT/tools/tests/test_check_module.py"
    # Where this machine runs 32-bit Wine itself, the whole 32-bit unit-test program runs here
    # too (a few seconds; the guest has time only for the steps below).
    if tt_can_run_win32; then
        tt_wine_fresh_prefix win32
        tt_start_xvfb
        run_gtest win32-unit-tests tt_wine "$TT_BUILD/win-i686/tests/unit_tests.exe"
        tt_stop_xvfb
        "$WINESERVER" -k >/dev/null 2>&1 || true
    fi
    source "$TT_ROOT/scripts/test32.sh"
fi

# The installer packages under 64-bit Wine, after the 32-bit stage (see the script).
if ((win64_built)); then
    tt_wine_env win64
    tt_start_xvfb
    source "$TT_ROOT/scripts/test_package.sh"
    tt_stop_xvfb
    "$WINESERVER" -k >/dev/null 2>&1 || true
fi

# Fuzzers: a short run of each (only the fuzz targets are built, see scripts/fuzz.sh).
source "$TT_ROOT/scripts/fuzz.sh"
if step fuzz-build tt_build_fuzz; then
    for f in "$TT_BUILD"/fuzz/fuzz/fuzz_*; do
        [[ -x $f ]] || continue
        run_check "$(basename "$f")" "$f" -max_total_time="$(tt_fuzz_seconds "$f")" -rss_limit_mb=2048 \
            -timeout=30 -artifact_prefix="$LOGS/" "$(tt_fuzz_corpus "$f")"
    done
fi

echo "$passed passed, $failed failed"
((failed == 0))
