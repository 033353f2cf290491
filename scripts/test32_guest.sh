#!/usr/bin/env bash
# The 32-bit stage's steps, inside the emulated 32-bit guest (scripts/test32.sh packs the files
# at their own paths and boots the guest): registration and the module tests, the automatic
# log-in end to end against the stand-in server, the checks of what the 32-bit build does
# differently, and the demo session's first steps with the toolbar docked in the 32-bit test
# browser. Each step leaves OUT/<name>.log and a line "name kind exit-code seconds" in
# OUT/results.
#
#   TT_BUILD=... bash scripts/test32_guest.sh OUT
set -uo pipefail
source "$(dirname "$0")/lib.sh"
out=$1
mkdir -p "$out"
: >"$out/results"
bin=$TT_BUILD/win-i686
status=0

record() {  # name, kind, exit code, started
    echo "$1 $2 $3 $((SECONDS - $4))" >>"$out/results"
    (($3 == 0)) || status=1
    echo "   exit code $3, $((SECONDS - $4)) s"
}

gtest_step() {  # name, command...
    local name=$1 t0=$SECONDS rc=0
    shift
    echo "== $name"
    "$@" --gtest_color=no >"$out/$name.log" 2>&1 || rc=$?
    record "$name" gtest "$rc" "$t0"
}

check_step() {  # name, command...
    local name=$1 t0=$SECONDS rc=0
    shift
    echo "== $name"
    "$@" >"$out/$name.log" 2>&1 || rc=$?
    record "$name" check "$rc" "$t0"
}

tt_wine_fresh_prefix win32
tt_start_xvfb

# regsvr32 twice and /u, with every key checked; then the rest of the module's tests.
gtest_step win32-registration tt_wine "$bin/tests/module/module_tests.exe" --gtest_filter='Registration.*'
gtest_step win32-module-tests tt_wine "$bin/tests/module/module_tests.exe" --gtest_filter='-Registration.*'

# What regsvr32 of the shipped module writes on a 32-bit system, for the installer's test to
# compare its 32-bit view with: the registry before and after, as Wine stores it.
regsvr32_keys() {
    local dir="$WINEPREFIX/drive_c/Program Files/Tavelle Toolbar"
    mkdir -p "$dir" && cp "$bin/src/module/TavelleToolbarIE.dll" "$dir/" &&
        tt_wine reg query 'HKCU\Software\Wine' >/dev/null && "$WINESERVER" -w &&
        cp "$WINEPREFIX/system.reg" "$out/reg32-before.reg" &&
        tt_wine regsvr32 /s 'C:\Program Files\Tavelle Toolbar\TavelleToolbarIE.dll' && "$WINESERVER" -w &&
        cp "$WINEPREFIX/system.reg" "$out/reg32-after.reg" &&
        tt_wine regsvr32 /s /u 'C:\Program Files\Tavelle Toolbar\TavelleToolbarIE.dll' && "$WINESERVER" -w &&
        rm -rf "$dir"
}
check_step win32-regsvr32-keys regsvr32_keys

# Stack cleanup at the module's boundaries, the browser's structures, unwinding to the guards.
gtest_step win32-shipped-module tt_wine "$bin/tests/unit_tests.exe" --gtest_filter='ShippedModuleX86.*'

# The stand-in server runs here too: the guest has no network.
tt_start_standin --idle-exit 600 --max-lifetime 1800
TT_STANDIN_PORT=${TT_STANDIN_PORT:-} gtest_step win32-login-end-to-end tt_wine "$bin/tests/unit_tests.exe" \
    --gtest_filter='EndToEndLogin.*'
tt_stop_standin

"$WINESERVER" -k >/dev/null 2>&1

# The demo session's first steps, in a prefix of its own, on this display.
check_step win32-demo-session env TT_DEMO_PREFIX="$TT_BUILD/wineprefix-demo32" \
    bash "$TT_ROOT/scripts/demo.sh" --in-guest --steps "${TT_DEMO32_STEPS:-3}" --out "$out/demo"

"$WINESERVER" -k >/dev/null 2>&1
tt_stop_xvfb
exit $status
