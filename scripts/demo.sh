#!/usr/bin/env bash
# The main job. For now: installs what is missing, builds everything and says what it built.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$TT_ROOT/scripts/setup.sh"
TT_WERROR=OFF tt_build_native >/dev/null
TT_WERROR=OFF tt_build_windows x86_64 >/dev/null
TT_WERROR=OFF tt_build_windows i686 >/dev/null
mkdir -p "$TT_ROOT/dist"
echo "Built:"
echo "  native core and unit tests:   $TT_BUILD/native"
echo "  Windows x86-64 (test build):  $TT_BUILD/win-x86_64"
echo "  Windows i686 (shipped):       $TT_BUILD/win-i686"
if [[ -f $TT_BUILD/win-i686/src/module/TavelleToolbarIE.dll ]]; then
    cp "$TT_BUILD/win-i686/src/module/TavelleToolbarIE.dll" "$TT_ROOT/dist/"
    echo "  dist/TavelleToolbarIE.dll"
fi
