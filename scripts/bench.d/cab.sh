# Collecting a 64 MB user-mode trace file (UTF-16 trace lines) into a cabinet with
# the console build, against gcab -c -z packing the same file in the same run:
# the time ratio and the sizes of both archives.
cab_work=$QV_BUILD/bench_cab
rm -rf "$cab_work"; mkdir -p "$cab_work"
cab_temp=$("$WINE_LOADER" cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')
cab_temp_unix=$("$WINE_LOADER" winepath -u "$cab_temp" 2>/dev/null | tr -d '\r')
cab_windows_unix=$("$WINE_LOADER" winepath -u 'C:\windows\Temp' 2>/dev/null | tr -d '\r')
rm -f "$cab_windows_unix/TraceFile.qv"   # the user trace file alone, as gcab gets it

awk 'BEGIN { for (i = 0; i < 500000; i++)
        printf "%08d [%04x:%04x] VlmKdShell.com!dx_shell_dispatch: argv[%d] = \x27-collect_user_mode_trace\x27 (%d)\r\n",
               i, 4660 + i % 3, 8000 + i % 11, i % 4, i * 7919 % 100003 }' \
    | iconv -f ASCII -t UTF-16LE | head -c 67108864 > "$cab_temp_unix/TraceFile.qv"
cp "$cab_temp_unix/TraceFile.qv" "$cab_work/UsrTraceFile.qv"

cab_collect() {
    rm -f "$cab_work/program.cab"
    "$WINE_LOADER" "$QV_BIN/VlmKdShell.com" -collect_user_mode_trace "$(printf 'Z:%s' "${cab_work//\//\\}")\\program.cab"
}
cab_gcab() {
    rm -f "$cab_work/gcab.cab"
    (cd "$cab_work" && gcab -c -z gcab.cab UsrTraceFile.qv)
}

mapfile -t cab_times < <(qv_bench_alternate 7 cab_collect cab_gcab)
qv_bench_ratio "64 MB trace into a cabinet, VlmKdShell.com vs gcab -c -z (goal <= 1.25)" "${cab_times[0]}" "${cab_times[1]}"
cab_prog_size=$(stat -c %s "$cab_work/program.cab" 2>/dev/null || echo 0)
cab_base_size=$(stat -c %s "$cab_work/gcab.cab" 2>/dev/null || echo 0)
awk -v p="$cab_prog_size" -v g="$cab_base_size" 'BEGIN {
    printf "archive sizes: VlmKdShell.com %d bytes, gcab %d bytes: %+.2f%% (goal within 1%%)\n",
           p, g, (g > 0 ? (p - g) * 100 / g : 0) }'
rm -rf "$cab_work" "$cab_temp_unix/TraceFile.qv"
