# The module's own tests under 64-bit Wine: the DLL's entry points and class objects, regsvr32
# registration and unregistration, the type library, and the refusal to load into the shell.
# (Sourced by scripts/test.sh inside the Wine prefix and the X display.)
run_gtest win64-module-tests tt_wine "$TT_BUILD/win-x86_64/tests/module/module_tests.exe"
# The attach benchmark runs too (its numbers land in the log); it fails only if attaching fails.
run_check win64-attach-benchmark tt_wine "$TT_BUILD/win-x86_64/tests/module/attach_benchmark.exe" 5
