# The test browser against the stand-in groupware server: a real log-in page, form post and
# session cookie. Sourced by scripts/test.sh inside the Wine prefix and the X display.
host_standin_port=$TT_BUILD/host-standin.port
rm -f "$host_standin_port"
python3 "$TT_ROOT/tools/standin_server.py" --port-file "$host_standin_port" --max-lifetime 600 >/dev/null 2>&1 &
host_standin_pid=$!
tt_children+=("$host_standin_pid")
for _ in $(seq 100); do
    [[ -s $host_standin_port ]] && break
    sleep 0.1
done
if [[ -s $host_standin_port ]]; then
    export TT_STANDIN_URL="http://127.0.0.1:$(cat "$host_standin_port")"
    TT_REQUIRE_ALL=1 run_gtest win64-host-standin tt_wine "$TT_BUILD/win-x86_64/tests/unit_tests.exe" --gtest_filter='StandinServer.*'
    unset TT_STANDIN_URL
else
    echo "FAILED: the stand-in server did not start"
    failed=$((failed + 1))
fi
kill "$host_standin_pid" 2>/dev/null
wait "$host_standin_pid" 2>/dev/null
