# -change_tracing *=DEBUG (one component instance, 73 set_flag_level calls) against
# the usage text of the same program, both under the same warm server. The driver
# component stand-in comes with the package, installed afresh when it is not this build's.
driver_installed="$WINEPREFIX/drive_c/Program Files/Velmora/Orrisguard/VlmKdDriverCom.dll"
if ! cmp -s "$driver_installed" "$QV_BIN/VlmKdDriverCom.dll"; then
    "$WINE_LOADER" msiexec /x '{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}' /qn </dev/null >/dev/null 2>&1
    "$WINE_LOADER" msiexec /i "Z:${QV_BIN//\//\\}\\VlmKd.msi" /qn </dev/null >/dev/null 2>&1
fi
driver_program() { "$WINE_LOADER" "$QV_BIN/VlmKdShell.com" -change_tracing '*=DEBUG'; }
driver_usage() { "$WINE_LOADER" "$QV_BIN/VlmKdShell.com"; }
mapfile -t driver_times < <(qv_bench_alternate 21 driver_program driver_usage)
qv_bench_ratio "change_tracing *=DEBUG vs usage text (goal <= 1.3)" "${driver_times[0]}" "${driver_times[1]}"
