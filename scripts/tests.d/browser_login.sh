# The automatic log-in end to end: the stand-in groupware server (tools/standin_server.py) on a
# loopback port (and as the proxy for pages of other host names), the helper object in the
# test browser under 64-bit Wine.
# (Sourced by scripts/test.sh inside the Wine prefix and the X display.) Without the server the
# step fails: its tests would only be skipped.
standin_port_file=$(mktemp)
python3 "$TT_ROOT/tools/standin_server.py" --port 0 --port-file "$standin_port_file" --idle-exit 120 \
    --max-lifetime 900 >/dev/null 2>&1 &
standin_pid=$!
tt_children+=("$standin_pid")
for _ in $(seq 100); do
    [[ -s $standin_port_file ]] && break
    sleep 0.1
done
if [[ -s $standin_port_file ]]; then
    export TT_STANDIN_PORT=$(cat "$standin_port_file")
    TT_REQUIRE_ALL=1 run_gtest win64-login-end-to-end tt_wine "$TT_BUILD/win-x86_64/tests/unit_tests.exe" \
        --gtest_filter='EndToEndLogin.*:EndToEndHostile.*'
    unset TT_STANDIN_PORT
else
    echo "FAILED: win64-login-end-to-end: the stand-in server did not start"
    failed=$((failed + 1))
fi
kill "$standin_pid" 2>/dev/null || true
wait "$standin_pid" 2>/dev/null || true
rm -f "$standin_port_file"
