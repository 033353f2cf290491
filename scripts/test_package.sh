# The installer packages: built as scripts/package.sh builds them (and a later version of them,
# for the upgrade), then installed, upgraded, repaired and removed under 64-bit Wine in prefixes
# of their own (tools/tests/package_test.py). Sourced by scripts/test.sh after the 32-bit stage,
# whose guest leaves the registry of a 32-bit system before and after regsvr32 of the 32-bit
# module: the x86 package's keys are compared with those.
package_work=$TT_BUILD/package-test
rm -rf "$package_work"
mkdir -p "$package_work"
run_check package-build bash "$TT_ROOT/scripts/package.sh" --out "$package_work/dist"

package_version=$(ls "$package_work/dist" 2>/dev/null | sed -n 's/^TavelleToolbar-\(.*\)-x64\.msi$/\1/p')
if [[ -n $package_version ]]; then
    # The later version: the same sources stamped one patch higher; the builds go back after.
    package_later() {
        local rc=0 arch
        TT_VERSION=${package_version%.*}.$((${package_version##*.} + 1)) \
            bash "$TT_ROOT/scripts/package.sh" --out "$package_work/later" || rc=1
        for arch in i686 x86_64; do
            TT_TARGETS=TavelleToolbarIE tt_build_windows "$arch" || rc=1
        done
        return $rc
    }
    # A fresh prefix to copy for each case, made as every test prefix is made.
    package_prefix() ( TT_WINEPREFIX=$package_work/prefix tt_wine_fresh_prefix win64 )
    package_guest32=()
    if [[ -s $TT_BUILD/guest32-test/out/reg32-after.reg ]]; then
        package_guest32=(--guest32 "$TT_BUILD/guest32-test/out")
    else
        echo "   no registry from the 32-bit guest: its 32-bit view is derived from the x86-64 module's keys"
    fi
    package_test() {
        python3 "$TT_ROOT/tools/tests/package_test.py" "$@" "${package_guest32[@]}" --wine "$TT_WINE" --work "$package_work" \
            --prefix "$package_work/prefix" --dist "$package_work/dist" --next "$package_work/later" \
            --host "$TT_BUILD/win-x86_64/tests/host/tavelle_test_host.exe"
    }
    run_check package-refusals package_test refusals "$TT_BUILD/win-i686/src/module/TavelleToolbarIE.dll" \
        "$TT_BUILD/win-x86_64/src/module/TavelleToolbarIE.dll"
    if step package-later-build package_later && step package-prefix package_prefix &&
        step package-reference package_test reference; then
        run_check package-x86 package_test x86
        run_check package-x64 package_test x64
    fi
    rm -rf "$package_work/prefix" "$package_work"/prefix-*
fi
