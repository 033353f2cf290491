#!/usr/bin/env bash
# How long the browser waits for the helper object: the time from LoadLibrary to an attached
# helper object (DllGetClassObject, CreateInstance, SetSite with a browser), beside the same
# steps for an empty in-process object built the same way. Runs the 64-bit build under Wine.
#     bash scripts/bench_attach.sh [rounds]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$TT_ROOT/scripts/setup.sh"
TT_WERROR=OFF tt_build_windows x86_64 >/dev/null
tt_wine_env win64
[[ -d $WINEPREFIX ]] || tt_wine_fresh_prefix win64
tt_start_xvfb
trap tt_stop_xvfb EXIT
tt_wine "$TT_BUILD/win-x86_64/tests/module/attach_benchmark.exe" "${1:-25}"
