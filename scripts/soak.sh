#!/usr/bin/env bash
# The soak: hours of the toolbar's use in minutes, under 64-bit Wine (tools/soak_session.py).
#
#   bash scripts/soak.sh [HOURS]   simulated hours of use (default 8); builds what is missing,
#                                  prints the report and writes it to artifacts/soak/
#   options: --skip-build (use the builds already there), --out DIR, --scale N (the toolbar's
#            time runs N times faster, default 120: a simulated hour in 30 s)
#
# A fresh Wine prefix of its own with the DLL registered by regsvr32, an X display (Xvfb unless
# DISPLAY is set), the stand-in server flipping between up, down, slow, dripping and garbage, and
# the test browser opening and closing tabs. Exits non-zero when the soak finds a fault, a loss
# of settings or growth.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

BHO_CLSID="{792F56DE-B131-43FD-A49F-2B486281844B}"
BAND_CLSID="{6B4FBDF9-7735-45BA-924C-3875A4DA8236}"

hours=8
build=1
scale=120
out=$TT_ROOT/artifacts/soak
while (($#)); do
    case $1 in
    --skip-build) build=0 ;;
    --out) out=$2; shift ;;
    --scale) scale=$2; shift ;;
    -h | --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    [0-9]*) hours=$1 ;;
    *) echo "soak.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done

dll64=$TT_BUILD/win-x86_64/src/module/TavelleToolbarIE.dll
host64=$TT_BUILD/win-x86_64/tests/host/tavelle_test_host.exe
if ((build)); then
    bash "$TT_ROOT/scripts/setup.sh"
    echo "== Building the x86-64 DLL and the test browser"
    TT_TARGETS="TavelleToolbarIE tavelle_test_host" tt_build_windows x86_64 >"$TT_BUILD/soak-build.log" 2>&1 ||
        { tail -n 30 "$TT_BUILD/soak-build.log"; echo "soak: the build failed" >&2; exit 1; }
fi
for f in "$dll64" "$host64"; do
    [[ -f $f ]] || { echo "soak: $f is missing (run without --skip-build)" >&2; exit 1; }
done

# Everything started from here on is stopped on the way out, also on Ctrl+C.
tt_stop_on_exit

export TT_WINEPREFIX=${TT_SOAK_PREFIX:-$TT_BUILD/wineprefix-soak}
tt_wine_fresh_prefix win64
tt_start_xvfb
registered=$(tt_install_toolbar "$dll64") || { echo "soak: regsvr32 failed" >&2; exit 1; }
mkdir -p "$out"
python3 "$TT_ROOT/tools/soak_session.py" --wine "$TT_WINE" --host "$host64" --dll "$registered" \
    --bho "$BHO_CLSID" --band "$BAND_CLSID" --hours "$hours" --scale "$scale" --out "$out"
