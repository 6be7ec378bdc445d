# Trace records per second, each against a floor measured in alternating rounds of
# the same process (tests/tools/bench_trace.cpp):
#   off: qv_trace_enter with a short message while tracing is off, against only
#        formatting the same line with _snwprintf (goal >= 0.8);
#   on:  the same record written to the trace file, against a mutex wait and
#        release, an open with the writer's flags, one WriteFile and a close (goal >= 0.9).
trace_out=$("$WINE_LOADER" "$QV_BIN/bench_trace.exe" </dev/null 2>/dev/null | tr -d '\r')
echo "$trace_out" | awk '
    $1 == "off" { printf "trace off, records/s vs format-only floor (goal >= 0.8): %d vs %d: ratio %.2f\n", $2, $3, $2 / $3 }
    $1 == "on"  { printf "trace on, records/s vs lock+open+write+close floor (goal >= 0.9): %d vs %d: ratio %.2f\n", $2, $3, $2 / $3 }'
