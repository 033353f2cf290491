# The demo's scripted session, as CI keeps it working: the session script's own tests, then the
# whole session (a fresh prefix of its own, the DLL registered, the browser driven step by step
# against the stand-in server). Sourced by scripts/test.sh; screenshots land in the test logs.
run_check demo-session-script python3 "$TT_ROOT/tools/tests/test_demo_session.py"
run_check demo-session bash "$TT_ROOT/scripts/demo.sh" --skip-build --out "$LOGS/demo"
