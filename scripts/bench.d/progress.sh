# The progress reporter's step against the work it reports on: 32 KB blocks copied
# from memory with a step each against the same copy alone, alternating rounds of
# one process (tests/tools/bench_progress.cpp prints the ratio; goal <= 1.01).
"$WINE_LOADER" "$QV_BIN/bench_progress.exe" </dev/null 2>/dev/null | tr -d '\r'
