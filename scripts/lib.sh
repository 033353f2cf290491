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
# under 64-bit Wine; the 32-bit build runs in an emulated 32-bit guest (scripts/guest32.sh).
tt_build_windows() {  # arch (i686 | x86_64), extra cmake args...
    local arch=$1
    shift
    local dir=$TT_BUILD/win-$arch toolchain=$TT_ROOT/cmake/mingw-$arch.cmake compiler
    # CMake keeps the compiler of a directory's first configuration: a directory configured with
    # another one (the posix thread model's, before) is configured afresh.
    compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER \${TOOLCHAIN_PREFIX}\(.*\))$/\1/p' "$toolchain")
    if [[ -f $dir/CMakeCache.txt ]] && ! grep -qs -- "$compiler\"" "$dir"/CMakeFiles/*/CMakeCXXCompiler.cmake; then
        set -- --fresh "$@"
    fi
    # TT_VERSION=major.minor.patch stamps the module with another version (the installer's upgrade
    # test); passed every time, so that a build without it is back at the project's version.
    tt_cmake_build "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTT_WERROR=${TT_WERROR:-ON} \
        -DTT_VERSION="${TT_VERSION:-}" "$@"
}

# Whether this machine runs 32-bit Wine itself (most machines of this kind refuse 32-bit code).
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
    if [[ -n ${TT_WINE_SEED:-} ]]; then
        # A copy of a prefix made the same way beforehand (the 32-bit guest keeps one: a new
        # prefix takes a minute or more there).
        cp -a "$TT_WINE_SEED" "$WINEPREFIX"
        return
    fi
    tt_wine wineboot -i >/dev/null 2>&1
    tt_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # Dialogs as on a Japanese desktop: the shell dialog font (MS Shell Dlg stands for MS UI Gothic
    # here) and the Japanese UI fonts in a proportional Japanese face, not the fixed-pitch one
    # Wine falls back to. (MS Shell Dlg 2 stays Tahoma, as there.)
    local face=IPAPGothic font
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for font in "MS UI Gothic" "MS PGothic" "ＭＳ Ｐゴシック"; do
            printf '"%s"="%s"\r\n' "$font" "$face"
        done
    } | iconv -f UTF-8 -t UTF-16 >"$WINEPREFIX/drive_c/tt-fonts.reg"
    tt_wine reg import 'C:\tt-fonts.reg' >/dev/null 2>&1
    rm -f "$WINEPREFIX/drive_c/tt-fonts.reg"
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
        for _ in $(seq 150); do
            [[ -e /tmp/.X11-unix/X$n ]] && return
            sleep 0.1
        done
        # Not up in time (a loaded machine, or the number taken meanwhile): stop it before the
        # next number, or it would outlive the run.
        kill "$TT_XVFB_PID" 2>/dev/null || true
        wait "$TT_XVFB_PID" 2>/dev/null || true
    done
    unset DISPLAY TT_XVFB_PID
    echo "could not start Xvfb" >&2
    return 1
}

# A display we started is forgotten with it, so that the next tt_start_xvfb starts a new one.
tt_stop_xvfb() {
    [[ -n "${TT_XVFB_PID:-}" ]] || return 0
    kill "$TT_XVFB_PID" 2>/dev/null || true
    unset TT_XVFB_PID DISPLAY
}

# From here on, the Wine server and the virtual display this script starts are stopped when it
# ends, also on Ctrl+C.
tt_stop_on_exit() {
    tt_exit_cleanup() {
        trap - EXIT INT TERM
        [[ -n ${WINESERVER:-} ]] && "$WINESERVER" -k >/dev/null 2>&1 || true
        tt_stop_xvfb
    }
    trap tt_exit_cleanup EXIT
    trap 'exit 130' INT TERM
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

# The stand-in groupware server: the one program every test step, benchmark, the demo and the
# soak start (the Python sessions and the test programs read the same variable).
export TT_STANDIN_SERVER=${TT_STANDIN_SERVER:-$TT_ROOT/tools/standin_server.py}

# Starts the stand-in server in the background on a free loopback port and waits until it
# listens; TT_STANDIN_PID and TT_STANDIN_PORT name it, and an interrupted test run stops it
# (tt_children). Arguments go to the server (--config, --idle-exit, --max-lifetime).
tt_start_standin() {
    local port_file
    port_file=$(mktemp)
    python3 "$TT_STANDIN_SERVER" --port 0 --port-file "$port_file" "$@" >/dev/null 2>&1 &
    TT_STANDIN_PID=$!
    tt_children+=("$TT_STANDIN_PID")
    # The emulated guest starts it about twenty times slower than this machine.
    for _ in $(seq 300); do
        [[ -s $port_file ]] && break
        kill -0 "$TT_STANDIN_PID" 2>/dev/null || break
        sleep 0.1
    done
    TT_STANDIN_PORT=$(cat "$port_file" 2>/dev/null)
    rm -f "$port_file"
    [[ -n $TT_STANDIN_PORT ]] && return 0
    tt_stop_standin
    echo "the stand-in server did not start" >&2
    return 1
}

tt_stop_standin() {
    [[ -n ${TT_STANDIN_PID:-} ]] || return 0
    kill "$TT_STANDIN_PID" 2>/dev/null || true
    wait "$TT_STANDIN_PID" 2>/dev/null || true
    unset TT_STANDIN_PID TT_STANDIN_PORT
}
