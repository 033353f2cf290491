#!/usr/bin/env bash
# How long a click on a page button takes to reach the browser's Navigate2, beside a command
# that does nothing and a menu item, all in one run of the toolbar window under Wine.
#     bash scripts/bench_click.sh [iterations] [budget in microseconds]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$TT_ROOT/scripts/setup.sh"
TT_WERROR=OFF TT_TARGETS=toolbar_click_bench tt_build_windows x86_64 >/dev/null
tt_wine_env win64
[[ -d $WINEPREFIX ]] || tt_wine_fresh_prefix win64
tt_start_xvfb
trap tt_stop_xvfb EXIT
tt_wine "$TT_BUILD/win-x86_64/tests/toolbar/toolbar_click_bench.exe" "${1:-2000}" "${2:-1000}"
