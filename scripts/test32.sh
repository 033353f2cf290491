# The 32-bit stage of the test command: the shipped DLL and the 32-bit test programs from
# build/win-i686 run in the emulated 32-bit guest (scripts/guest32.sh) under 32-bit Wine. The
# steps there are scripts/test32_guest.sh; their results count here like every other test's.
# A guest that cannot be built or booted fails the stage. Sourced by scripts/test.sh.
stage32_started=${stage32_started:-$SECONDS}  # test.sh starts the clock before the 32-bit build
stage32_job=$TT_BUILD/guest32-test
echo "== win32-guest-image"
if bash "$TT_ROOT/scripts/guest32.sh" >"$LOGS/win32-guest-image.log" 2>&1; then
    grep -E 'cached|built in' "$LOGS/win32-guest-image.log" | sed 's/^/   /'
    stage32_image_ok=1
else
    fail_step win32-guest-image
    stage32_image_ok=0
fi

if ((stage32_image_ok)); then
    rm -rf "$stage32_job"
    mkdir -p "$stage32_job/out"
    # The same absolute paths inside the guest: the test programs know the source tree's.
    stage32_bin=$TT_BUILD/win-i686
    tar -cPf "$stage32_job/in.tar" "$TT_ROOT/scripts/lib.sh" "$TT_ROOT/scripts/demo.sh" \
        "$TT_ROOT/scripts/test32_guest.sh" "$TT_ROOT/tools/demo_session.py" "$TT_STANDIN_SERVER" \
        "$TT_ROOT/tools/gen_commands.py" "$TT_ROOT/tools/gen_strings.py" \
        "$TT_ROOT/src/resources/strings.txt" "$TT_ROOT/src/resources/commands.txt" \
        "$stage32_bin/src/module/TavelleToolbarIE.dll" "$stage32_bin/tests/module/module_tests.exe" \
        "$stage32_bin/tests/module/load_probe.exe" "$stage32_bin/tests/unit_tests.exe" \
        "$stage32_bin/tests/host/tavelle_test_host.exe"
    {
        echo "tar -xPf /job/in.tar"
        # The demo session names the shipped file: there, it is this build's DLL.
        printf 'mkdir -p %q && cp %q %q\n' "$TT_ROOT/dist/x86" "$stage32_bin/src/module/TavelleToolbarIE.dll" \
            "$TT_ROOT/dist/x86/"
        printf 'TT_BUILD=%q TT_STANDIN_SERVER=%q bash %q /job/out\n' "$TT_BUILD" "$TT_STANDIN_SERVER" \
            "$TT_ROOT/scripts/test32_guest.sh"
    } >"$stage32_job/run.sh"

    echo "== win32-guest (the steps below run in the guest)"
    stage32_rc=0
    bash "$TT_ROOT/scripts/guest32.sh" --run "$stage32_job" "${TT_GUEST_SECONDS:-1500}" \
        >"$LOGS/win32-guest.log" 2>&1 || stage32_rc=$?
    if [[ ! -s $stage32_job/out/results ]]; then
        fail_step win32-guest
    else
        # One line per step: name, kind (gtest | check), exit code, seconds.
        while read -r name kind rc seconds; do
            cp "$stage32_job/out/$name.log" "$LOGS/$name.log" 2>/dev/null
            echo "== $name (in the guest, $seconds s)"
            if [[ $kind == gtest ]]; then
                count_gtest "$name" "$LOGS/$name.log" "$rc"
                # A filter that matches nothing, or tests that skip, would pass unseen.
                if grep -qaE '^\[  SKIPPED \]|^\[  PASSED  \] 0 tests' "$LOGS/$name.log"; then
                    echo "   $name ran no test or skipped some"
                    failed=$((failed + 1))
                fi
            elif ((rc == 0)); then
                passed=$((passed + 1))
            else
                fail_step "$name"
            fi
        done <"$stage32_job/out/results"
        # The guest's own run ends with the exit code of its steps; anything else is a failure of
        # the guest itself (it stopped early, or was stopped at its time limit).
        if [[ ! -s $stage32_job/exit-code ]]; then
            fail_step win32-guest
        fi
        rm -rf "$LOGS/demo32"
        cp -r "$stage32_job/out/demo" "$LOGS/demo32" 2>/dev/null
    fi
fi
stage32_image=$(bash "$TT_ROOT/scripts/guest32.sh" --dir)
if [[ -s $stage32_image/build-seconds && -e $stage32_image/ready ]]; then
    stage32_image="the guest image's build took $(cat "$stage32_image/build-seconds") s (once; cached in $stage32_image)"
else
    stage32_image="no guest image"
fi
echo "   32-bit stage (with its build): $((SECONDS - stage32_started)) s; $stage32_image"
