# Request scrambling of 1 KB, 64 KB and 1 MB texts, against the honest floor (the
# result's allocation, SysAllocStringByteLen of 2(m + 1) bytes, then a plain
# XOR-and-copy loop into it) and against the bare loop, measured in the same
# process (tests/tools/bench_scramble.cpp prints the ratios; goal >= 0.75 to the floor).
"$WINE_LOADER" "$QV_BIN/bench_scramble.exe" </dev/null 2>/dev/null
