# The soak's short run: an hour of the toolbar's use (tabs opened and closed, the periodic check
# against a flipping stand-in server, options, searches, update notices) in about a minute, in a
# Wine prefix of its own on the test run's display (scripts/soak.sh HOURS runs the long one).
# Sourced by scripts/test.sh.
run_check soak-short env TT_SOAK_PREFIX="$TT_BUILD/wineprefix-soak-test" \
    bash "$TT_ROOT/scripts/soak.sh" 1 --skip-build --out "$LOGS/soak"
