#!/usr/bin/env bash
# The main job: the toolbar in a browser window, in a scripted session or for a person to try.
#
#   bash scripts/demo.sh                 installs what is missing, builds, runs the scripted
#                                        session; transcript and screenshots in artifacts/demo/
#   bash scripts/demo.sh --interactive   the same browser and servers, left open until the
#                                        window is closed or Ctrl+C
#   bash scripts/demo.sh --32            the scripted session with the shipped 32-bit DLL and
#                                        the 32-bit test browser, in the emulated 32-bit guest
#                                        (scripts/guest32.sh; about 20 times slower)
#   options: --skip-build (use the builds already there), --out DIR (instead of artifacts/demo),
#            --steps N (only the first N steps, then closing the browser)
#
# Steps: scripts/setup.sh; the shipped DLLs into dist/: dist/x86/ (32-bit, i686) and dist/x64/
# (x86-64), the latter built together with the test browser (this kind of machine cannot run
# 32-bit programs, so the demo runs the x86-64 build under 64-bit Wine); a fresh Wine prefix
# with that DLL copied into Program Files and registered by regsvr32; an X display (Xvfb unless
# DISPLAY is set); then tools/demo_session.py, which starts the stand-in server and the browser.
# The build also makes the installer packages in dist/ (scripts/package.sh).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

BHO_CLSID="{792F56DE-B131-43FD-A49F-2B486281844B}"
BAND_CLSID="{6B4FBDF9-7735-45BA-924C-3875A4DA8236}"

mode=session
build=1
out=$TT_ROOT/artifacts/demo
guest32=0    # --32: the session runs in the emulated 32-bit guest
in_guest=0   # --in-guest: this is the guest's side of --32 (scripts/guest32.sh runs it there)
steps=
while (($#)); do
    case $1 in
    --interactive) mode=interactive ;;
    --skip-build) build=0 ;;
    --32) guest32=1 ;;
    --in-guest)
        in_guest=1
        build=0
        ;;
    --out)
        out=$2
        shift
        ;;
    --steps)
        steps=$2
        shift
        ;;
    -h | --help)
        sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "demo.sh: unknown option $1 (see --help)" >&2
        exit 2
        ;;
    esac
    shift
done

out=$(realpath -m "$out")
say() { printf '== %s\n' "$*"; }

# Builds the named targets of one Windows build, with the test command's settings, so that the
# two commands share their build directories.
build_targets() {  # arch, targets...
    local arch=$1
    shift
    TT_TARGETS="$*" tt_build_windows "$arch"
}

dll32=$TT_BUILD/win-i686/src/module/TavelleToolbarIE.dll
dll64=$TT_BUILD/win-x86_64/src/module/TavelleToolbarIE.dll
host32=$TT_BUILD/win-i686/tests/host/tavelle_test_host.exe
host64=$TT_BUILD/win-x86_64/tests/host/tavelle_test_host.exe

if ((guest32)); then
    # This machine only packs the job: the 32-bit DLL and browser, the session and its servers
    # go into the guest, which runs this script with --in-guest and hands back its outputs.
    [[ $mode == interactive ]] && { echo "demo: --interactive needs your display; --32 runs in the guest" >&2; exit 2; }
    if ((build)); then
        bash "$TT_ROOT/scripts/setup.sh"
        say "Building the shipped DLL and the test browser (32-bit, i686)"
        build_targets i686 TavelleToolbarIE tavelle_test_host >"$TT_BUILD/demo-build-i686.log" 2>&1 ||
            { tail -n 30 "$TT_BUILD/demo-build-i686.log"; echo "demo: the 32-bit build failed" >&2; exit 1; }
        mkdir -p "$TT_ROOT/dist/x86"
        cp "$dll32" "$TT_ROOT/dist/x86/"
        echo "   dist/x86/TavelleToolbarIE.dll ($(stat -c %s "$dll32") bytes)"
    fi
    for f in "$dll32" "$host32" "$TT_ROOT/dist/x86/TavelleToolbarIE.dll"; do
        [[ -f $f ]] || { echo "demo: $f is missing (run without --skip-build)" >&2; exit 1; }
    done
    say "The emulated 32-bit guest"
    bash "$TT_ROOT/scripts/guest32.sh" || { echo "demo: the 32-bit guest could not be built" >&2; exit 1; }
    job=$TT_BUILD/guest32-demo
    rm -rf "$job"
    mkdir -p "$job"
    tar -cPf "$job/in.tar" "$TT_ROOT/scripts/lib.sh" "$TT_ROOT/scripts/demo.sh" "$TT_ROOT/tools/demo_session.py" \
        "$TT_ROOT/tools/gen_commands.py" "$TT_ROOT/tools/gen_strings.py" "$TT_STANDIN_SERVER" \
        "$TT_ROOT/src/resources/strings.txt" "$TT_ROOT/src/resources/commands.txt" \
        "$TT_ROOT/dist/x86/TavelleToolbarIE.dll" "$dll32" "$host32"
    # The guest writes where this machine would (the transcript names the folder), then hands
    # the folder back through /job/out.
    {
        echo "tar -xPf /job/in.tar"
        printf 'TT_BUILD=%q TT_STANDIN_SERVER=%q bash %q --in-guest --out %q%s\n' "$TT_BUILD" "$TT_STANDIN_SERVER" \
            "$TT_ROOT/scripts/demo.sh" "$out" \
            "${steps:+ --steps $steps}"
        echo 'rc=$?'
        printf 'mkdir -p /job/out && cp -r %q/. /job/out/\n' "$out"
        echo 'exit $rc'
    } >"$job/run.sh"
    say "Booting the guest (the session runs there; its transcript follows)"
    started=$SECONDS
    rc=0
    bash "$TT_ROOT/scripts/guest32.sh" --run "$job" 3600 || rc=$?
    echo "   (the guest ran $((SECONDS - started)) s)"
    # The session's outputs, as the x86-64 demo leaves them (an earlier run's would pass for
    # this one's).
    mkdir -p "$out"
    for f in transcript.txt options-dialog.png top-page.png digest-menu.png update-notice.png failure.png; do
        rm -f "$out/$f"
    done
    cp -r "$job/out/." "$out/" 2>/dev/null || true
    cp "$job/guest.log" "$job/serial.log" "$out/logs/" 2>/dev/null || true
    [[ -s $out/transcript.txt ]] && echo "   transcript and screenshots in $out"
    exit "$rc"
fi

if ((build)); then
    bash "$TT_ROOT/scripts/setup.sh"
    mkdir -p "$TT_BUILD"
    say "Building the shipped 32-bit DLL (i686)"
    build_targets i686 TavelleToolbarIE >"$TT_BUILD/demo-build-i686.log" 2>&1 ||
        { tail -n 30 "$TT_BUILD/demo-build-i686.log"; echo "demo: the 32-bit build failed" >&2; exit 1; }
    say "Building the shipped x86-64 DLL and the test browser (what runs here, under 64-bit Wine)"
    build_targets x86_64 TavelleToolbarIE tavelle_test_host >"$TT_BUILD/demo-build-x86_64.log" 2>&1 ||
        { tail -n 30 "$TT_BUILD/demo-build-x86_64.log"; echo "demo: the 64-bit build failed" >&2; exit 1; }
    # Each bitness in a folder of its own, under the name the registration expects.
    rm -f "$TT_ROOT/dist/TavelleToolbarIE.dll"
    mkdir -p "$TT_ROOT/dist/x86" "$TT_ROOT/dist/x64"
    cp "$dll32" "$TT_ROOT/dist/x86/"
    cp "$dll64" "$TT_ROOT/dist/x64/"
    echo "   dist/x86/TavelleToolbarIE.dll ($(stat -c %s "$dll32") bytes)"
    echo "   dist/x64/TavelleToolbarIE.dll ($(stat -c %s "$dll64") bytes)"
    echo "   $host64"
    say "Making the installer packages (scripts/package.sh)"
    bash "$TT_ROOT/scripts/package.sh" --skip-build | sed "s|^$TT_ROOT/|   |"
fi
if ((in_guest)); then
    # Inside the guest: the shipped 32-bit DLL under 32-bit Wine.
    arch=win32 dll=$dll32 host=$host32
else
    arch=win64 dll=$dll64 host=$host64
fi
for f in "$dll" "$host"; do
    [[ -f $f ]] || { echo "demo: $f is missing (run without --skip-build)" >&2; exit 1; }
done

# Everything started from here on is stopped on the way out, also on Ctrl+C.
tt_stop_on_exit

say "A fresh ${arch#win}-bit Wine prefix"
export TT_WINEPREFIX=${TT_DEMO_PREFIX:-$TT_BUILD/wineprefix-demo}
tt_wine_fresh_prefix "$arch"
tt_start_xvfb
if [[ -n ${TT_XVFB_PID:-} ]]; then
    echo "   virtual display $DISPLAY (Xvfb)"
    [[ $mode == interactive ]] &&
        echo "   (no DISPLAY was set: the browser is on the virtual display, where nobody sees it)"
else
    echo "   on your display $DISPLAY"
fi

say "Installing the toolbar: copy into Program Files, regsvr32"
install_dir="$WINEPREFIX/drive_c/Program Files/Tavelle Toolbar"
mkdir -p "$install_dir"
cp "$dll" "$install_dir/"
if ! tt_wine regsvr32 /s 'C:\Program Files\Tavelle Toolbar\TavelleToolbarIE.dll'; then
    echo "demo: regsvr32 failed" >&2
    exit 1
fi
# The browser finds the helper object the way Internet Explorer does: through the registry.
# (reg prints in the prefix's code page, Shift_JIS here: the C locale reads it byte by byte.)
registered=$(tt_wine reg query "HKCR\\CLSID\\$BHO_CLSID\\InprocServer32" /ve 2>/dev/null |
    LC_ALL=C sed -n 's/.*REG_SZ[[:space:]]*//p' | tr -d '\r' | head -n1)
tt_wine reg query "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\$BHO_CLSID" \
    >/dev/null 2>&1 || { echo "demo: the helper object is not registered" >&2; exit 1; }
[[ -n $registered ]] || { echo "demo: the helper object's InprocServer32 is missing" >&2; exit 1; }
echo "   registered: $registered"

say "The session ($mode)"
args=(--wine "$TT_WINE" --host "$host" --dll "$registered" --bho "$BHO_CLSID" --band "$BAND_CLSID" --out "$out")
[[ $mode == interactive ]] && args+=(--interactive)
[[ -n $steps ]] && args+=(--steps "$steps")
if ((in_guest)); then
    args+=(--slow 20 --guest "an emulated 32-bit PC: Debian 12 i386 under qemu-system-i386 (scripts/guest32.sh), \
$(tt_wine --version 2>/dev/null || echo Wine) 32-bit")
fi
python3 "$TT_ROOT/tools/demo_session.py" "${args[@]}"
