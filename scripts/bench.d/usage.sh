# The console build showing its usage text, against a minimal program that makes the
# same platform calls (COM initialisation, command-line splitting, the same bytes out).
usage_program() { "$WINE_LOADER" "$QV_BIN/VlmKdShell.com"; }
usage_floor() { "$WINE_LOADER" "$QV_BIN/bench_usage_floor.exe"; }
mapfile -t usage_times < <(qv_bench_alternate 31 usage_program usage_floor)
qv_bench_ratio "usage text, VlmKdShell.com vs floor (goal <= 1.2)" "${usage_times[0]}" "${usage_times[1]}"
