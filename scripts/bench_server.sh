#!/usr/bin/env bash
# The toolbar window against hostile servers, under 64-bit Wine: how long one refresh of the
# displays holds the window's thread while the server drips its answers, and the heap peak of
# a refresh that gets 4 MiB of commas. The stand-in server plays the hostile groupware.
#     bash scripts/bench_server.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$TT_ROOT/scripts/setup.sh"
TT_WERROR=OFF TT_TARGETS=toolbar_server_bench tt_build_windows x86_64 >/dev/null
tt_wine_env win64
[[ -d $WINEPREFIX ]] || tt_wine_fresh_prefix win64
tt_start_xvfb

work=$(mktemp -d)
cat >"$work/config.json" <<'JSON'
{"routes": {
  "/drip-one/ag.cgi?page=RMDigest": {"body": "header\r\nA,?page=X,Title\r\nNOERROR\r\n", "drip": 1},
  "/drip-head/ag.cgi": {"body": "header\r\n", "drip": 1, "drip_head": true},
  "/drip-all/ag.cgi": {"body": "header\r\nA,?page=X,Title\r\nNOERROR\r\n", "drip": 1},
  "/commas/ag.cgi?page=RMDigest": {"body": ",", "size": 4194304},
  "/commas-open/ag.cgi?page=RMDigest": {"body": ",", "size": 4194304, "content_length": false},
  "/largest/ag.cgi?page=RMDigest": {"body": ",", "size": 1048576},
  "/lines/ag.cgi?page=RMDigest": {"body": "a\n", "size": 1048576}
}}
JSON
cleanup() {
    tt_stop_standin
    rm -rf "$work"
    tt_stop_xvfb
}
trap cleanup EXIT
tt_start_standin --config "$work/config.json" --idle-exit 120 --max-lifetime 600
TT_STANDIN_PORT=$TT_STANDIN_PORT tt_wine "$TT_BUILD/win-x86_64/tests/toolbar/toolbar_server_bench.exe"
