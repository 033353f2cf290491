# Shared helpers of the project's scripts: build directories, the Wine prefix, the X display.
# Sourced, not run.

TT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TT_BUILD=${TT_BUILD:-$TT_ROOT/build}
TT_JOBS=${TT_JOBS:-$(nproc)}

tt_cmake_build() {  # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S "$TT_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    # TT_TARGETS, when set, names the only targets to build.
    cmake --build "$dir" -j "$TT_JOBS" ${TT_TARGETS:+--target $TT_TARGETS}
}

tt_build_native() {  # the sanitizer build of the portable core and its tests
    tt_cmake_build "$TT_BUILD/native" -DTT_SANITIZE=ON -DTT_WERROR=${TT_WERROR:-ON} "$@"
}

# The shipped DLL is 32-bit (i686). Machines whose kernel cannot run 32-bit Linux programs
# cannot run Wine's 32-bit side either, so the tests run the same sources built for x86-64
# under 64-bit Wine; where 32-bit Wine works, the 32-bit tests run as well.
tt_build_windows() {  # arch (i686 | x86_64), extra cmake args...
    local arch=$1
    shift
    tt_cmake_build "$TT_BUILD/win-$arch" -DCMAKE_TOOLCHAIN_FILE="$TT_ROOT/cmake/mingw-$arch.cmake" \
        -DTT_WERROR=${TT_WERROR:-ON} "$@"
}

tt_can_run_win32() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

# A Wine prefix of our own: Japanese locale, no window-manager stalls. arch: win32 | win64.
tt_wine_env() {
    local arch=${1:-win64}
    export WINEARCH=$arch
    export WINEPREFIX=${TT_WINEPREFIX:-$TT_BUILD/wineprefix-$arch}
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
    if [[ $arch == win64 ]]; then
        TT_WINE=/usr/lib/wine/wine64
        export WINESERVER=/usr/lib/wine/wineserver64
    else
        TT_WINE=/usr/lib/wine/wine
        export WINESERVER=/usr/lib/wine/wineserver32
    fi
}

tt_wine() { "$TT_WINE" "$@"; }

tt_wine_fresh_prefix() {  # arch
    tt_wine_env "$@"
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    tt_wine wineboot -i >/dev/null 2>&1
    tt_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    "$WINESERVER" -w
}

# Starts Xvfb on a free display unless one is set; TT_XVFB_PID names it for tt_stop_xvfb.
tt_start_xvfb() {
    if [[ -n "${DISPLAY:-}" && -z "${TT_FORCE_XVFB:-}" ]]; then
        return
    fi
    local n
    for n in $(seq 90 140); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        TT_XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do
            [[ -e /tmp/.X11-unix/X$n ]] && return
            sleep 0.1
        done
    done
    echo "could not start Xvfb" >&2
    return 1
}

# Stops the display tt_start_xvfb started, if any, and forgets it: a later tt_start_xvfb (the
# 32-bit tests after the 64-bit ones) starts a new one instead of using the stopped one.
tt_stop_xvfb() {
    if [[ -n "${TT_XVFB_PID:-}" ]]; then
        kill "$TT_XVFB_PID" 2>/dev/null || true
        unset TT_XVFB_PID DISPLAY
    fi
}

# Copies a toolbar DLL into the prefix's Program Files and registers it with regsvr32, as an
# installation does; prints the registered path as Windows sees it.
tt_install_toolbar() {  # dll
    local dir="$WINEPREFIX/drive_c/Program Files/Tavelle Toolbar"
    mkdir -p "$dir"
    cp "$1" "$dir/"
    tt_wine regsvr32 /s 'C:\Program Files\Tavelle Toolbar\TavelleToolbarIE.dll' >&2 || return 1
    echo 'C:\Program Files\Tavelle Toolbar\TavelleToolbarIE.dll'
}
