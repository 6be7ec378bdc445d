# The console build showing its usage text, against a minimal program that makes the
# same platform calls (COM initialisation, command-line splitting, the same bytes out).
usage_prog=$(qv_bench_times 21 "$WINE_LOADER" "$QV_BIN/VlmKdShell.com")
usage_floor=$(qv_bench_times 21 "$WINE_LOADER" "$QV_BIN/bench_usage_floor.exe")
qv_bench_ratio "usage text, VlmKdShell.com vs floor (goal <= 1.2)" "$usage_prog" "$usage_floor"
