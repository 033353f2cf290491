# The automatic log-in end to end: the stand-in groupware server on a loopback port (and as the
# proxy for pages of other host names), the helper object in the test browser under 64-bit Wine.
# (Sourced by scripts/test.sh inside the Wine prefix and the X display.) Without the server the
# step fails: its tests would only be skipped.
if tt_start_standin --idle-exit 120 --max-lifetime 900; then
    export TT_STANDIN_PORT
    TT_REQUIRE_ALL=1 run_gtest win64-login-end-to-end tt_wine "$TT_BUILD/win-x86_64/tests/unit_tests.exe" \
        --gtest_filter='EndToEndLogin.*:EndToEndHostile.*'
    tt_stop_standin
else
    echo "FAILED: win64-login-end-to-end: the stand-in server did not start"
    failed=$((failed + 1))
fi
