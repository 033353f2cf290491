# The stand-in HTTP server's own tests (plain Python, no build). Sourced by scripts/test.sh.
run_check standin-server python3 "$TT_ROOT/tools/tests/test_standin_server.py"
