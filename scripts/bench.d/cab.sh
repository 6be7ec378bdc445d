# Collecting a 64 MB user-mode trace file (UTF-16 trace lines) into a cabinet with
# the console build, in one alternating run with the platform's own cabinet tool
# over the same cabinet library (cabarc -m mszip, the floor of what the library
# allows; called by its path, as "wine64 cabarc" would go through a second
# process) and with gcab -c -z, a native peer: the time ratios and the sizes.
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
cab_cabarc() {
    rm -f "$cab_work/cabarc.cab"
    (cd "$cab_work" && "$WINE_LOADER" 'C:\windows\system32\cabarc.exe' -m mszip n cabarc.cab UsrTraceFile.qv)
}
cab_gcab() {
    rm -f "$cab_work/gcab.cab"
    (cd "$cab_work" && gcab -c -z gcab.cab UsrTraceFile.qv)
}

mapfile -t cab_times < <(qv_bench_alternate 7 cab_collect cab_cabarc cab_gcab)
qv_bench_ratio "64 MB trace into a cabinet, VlmKdShell.com vs cabarc -m mszip (goal <= 1.1)" "${cab_times[0]}" "${cab_times[1]}"
qv_bench_ratio "64 MB trace into a cabinet, VlmKdShell.com vs gcab -c -z (peer)" "${cab_times[0]}" "${cab_times[2]}"
cab_prog_size=$(stat -c %s "$cab_work/program.cab" 2>/dev/null || echo 0)
cab_cabarc_size=$(stat -c %s "$cab_work/cabarc.cab" 2>/dev/null || echo 0)
cab_base_size=$(stat -c %s "$cab_work/gcab.cab" 2>/dev/null || echo 0)
awk -v p="$cab_prog_size" -v c="$cab_cabarc_size" -v g="$cab_base_size" 'BEGIN {
    printf "archive sizes: VlmKdShell.com %d bytes, cabarc %d bytes, gcab %d bytes: %+.2f%% against gcab (goal within 1%%)\n",
           p, c, g, (g > 0 ? (p - g) * 100 / g : 0) }'
rm -rf "$cab_work" "$cab_temp_unix/TraceFile.qv"
