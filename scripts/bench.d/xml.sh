# XML parse and serialize of a generated 1 MB document against a plain copy loop
# with one character-class test per character, and the growth to 4 MB (the
# program prints the ratios).
"$WINE_LOADER" "$QV_BIN/bench_xml.exe" </dev/null 2>/dev/null
