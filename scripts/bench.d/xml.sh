# XML parse and serialize of generated 1 MB and 4 MB documents against the
# platform's DOM (MSXML 3, DOMDocument30: loadXML and the xml property) in the same
# process, rounds alternating, and the growth from 1 MB to 4 MB; then one element
# of 25,000 and of 100,000 attributes (tests/tools/bench_xml.cpp prints the ratios;
# goals <= 0.7 to the DOM, growth <= 4.5, 100,000 attributes < 1 s and <= 6 times).
"$WINE_LOADER" "$QV_BIN/bench_xml.exe" </dev/null 2>/dev/null
