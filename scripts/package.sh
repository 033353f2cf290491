#!/usr/bin/env bash
# Builds the toolbar's Windows Installer packages (per machine) from the two module builds:
#
#   dist/TavelleToolbar-<version>-x86.msi   the 32-bit module, for 32-bit Windows (XP SP2 on)
#   dist/TavelleToolbar-<version>-x64.msi   the 32-bit module in the 32-bit program folder and
#                                           the x86-64 module in the 64-bit one
#
#   options: --skip-build (package the modules already built), --out DIR (instead of dist/)
#   TT_VERSION=major.minor.patch builds and packages the modules stamped with that version
#   instead of the project's (a later build for the upgrade test).
#
# The registry keys, the version, the name, the maker and the icon come from the built modules
# themselves (tools/make_package.py); wixl and msibuild (msitools) make the packages.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

build=1
out=$TT_ROOT/dist
while (($#)); do
    case $1 in
    --skip-build) build=0 ;;
    --out)
        out=$2
        shift
        ;;
    -h | --help)
        sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "package.sh: unknown option $1 (see --help)" >&2
        exit 2
        ;;
    esac
    shift
done

dll32=$TT_BUILD/win-i686/src/module/TavelleToolbarIE.dll
dll64=$TT_BUILD/win-x86_64/src/module/TavelleToolbarIE.dll
if ((build)); then
    for arch in i686 x86_64; do
        log=$TT_BUILD/package-build-$arch.log
        mkdir -p "$TT_BUILD"
        TT_TARGETS=TavelleToolbarIE tt_build_windows "$arch" >"$log" 2>&1 ||
            { tail -n 30 "$log"; echo "package.sh: the $arch build failed" >&2; exit 1; }
    done
fi

mkdir -p "$out"
rm -f "$out"/TavelleToolbar-*-x86.msi "$out"/TavelleToolbar-*-x64.msi
python3 "$TT_ROOT/tools/make_package.py" --arch x86 --module32 "$dll32" --out-dir "$out"
python3 "$TT_ROOT/tools/make_package.py" --arch x64 --module32 "$dll32" --module64 "$dll64" --out-dir "$out"
