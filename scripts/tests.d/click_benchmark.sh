# The click-to-Navigate2 benchmark of the toolbar window under 64-bit Wine. Its figures land in
# the log; the budget here is loose (a loaded CI machine) and fails only on a path that waits,
# for instance on the network. Sourced by scripts/test.sh inside the Wine prefix and display.
run_check win64-click-benchmark tt_wine "$TT_BUILD/win-x86_64/tests/toolbar/toolbar_click_bench.exe" 300 5000
