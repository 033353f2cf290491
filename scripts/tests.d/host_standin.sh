# The test browser against the stand-in groupware server: a real log-in page, form post and
# session cookie. Sourced by scripts/test.sh inside the Wine prefix and the X display.
if tt_start_standin --max-lifetime 600; then
    TT_STANDIN_URL="http://127.0.0.1:$TT_STANDIN_PORT" TT_REQUIRE_ALL=1 \
        run_gtest win64-host-standin tt_wine "$TT_BUILD/win-x86_64/tests/unit_tests.exe" --gtest_filter='StandinServer.*'
    tt_stop_standin
else
    echo "FAILED: the stand-in server did not start"
    failed=$((failed + 1))
fi
