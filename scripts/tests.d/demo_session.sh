# The demo's session script: its own tests. Sourced by scripts/test.sh.
run_check demo-session-script python3 "$TT_ROOT/tools/tests/test_demo_session.py"
