# Request scrambling of a 1 MB text, against a plain XOR-and-copy loop over the same
# buffer measured in the same process (the program prints the ratio).
"$WINE_LOADER" "$QV_BIN/bench_scramble.exe" </dev/null 2>/dev/null
