# The demo: its session script's own tests, then the scripted session itself (scripts/demo.sh on
# the builds already made, in a fresh Wine prefix of its own, on the test run's display).
# Sourced by scripts/test.sh.
run_check demo-session-script python3 "$TT_ROOT/tools/tests/test_demo_session.py"
run_check demo-session env TT_DEMO_PREFIX="$TT_BUILD/wineprefix-demo-test" \
    bash "$TT_ROOT/scripts/demo.sh" --skip-build --out "$LOGS/demo"
