# The Windows tests once more, in a prefix of their own that reports Windows XP, so that what
# reads the system's or the browser's version (urlmon's user agent names the system) takes its
# XP path: the whole unit-test program (some seconds) and the module's own tests (registration,
# class objects, a background request). A 64-bit prefix offers Windows XP only as its x64 edition
# (winxp64, version 5.2): `winecfg -v winxp` is refused there. (Sourced by scripts/test.sh inside
# the X display; the test prefix is restored afterwards.)
winxp_saved_prefix=$WINEPREFIX
TT_WINEPREFIX=$TT_BUILD/wineprefix-winxp tt_wine_fresh_prefix win64
tt_wine winecfg -v winxp64 >/dev/null 2>&1
winxp_version=$(tt_wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentVersion 2>/dev/null |
    tr -d '\r' | awk '/REG_SZ/ {print $3}')
if [[ $winxp_version == 5.2 ]]; then
    run_gtest win64-winxp-unit-tests tt_wine "$TT_BUILD/win-x86_64/tests/unit_tests.exe"
    run_gtest win64-winxp-module-tests tt_wine "$TT_BUILD/win-x86_64/tests/module/module_tests.exe"
else
    echo "FAILED: the Windows XP prefix reports version '$winxp_version'"
    failed=$((failed + 1))
fi
"$WINESERVER" -k >/dev/null 2>&1 || true
export WINEPREFIX=$winxp_saved_prefix
