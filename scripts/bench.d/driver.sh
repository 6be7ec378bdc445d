# -change_tracing *=DEBUG (one component instance, 73 set_flag_level calls) against
# the usage text of the same program, both under the same warm server. The driver
# component stand-in comes with this build's package.
qv_install_package || return
driver_program() { "$WINE_LOADER" "$QV_BIN/VlmKdShell.com" -change_tracing '*=DEBUG'; }
driver_usage() { "$WINE_LOADER" "$QV_BIN/VlmKdShell.com"; }
mapfile -t driver_times < <(qv_bench_alternate 21 driver_program driver_usage)
qv_bench_ratio "change_tracing *=DEBUG vs usage text (goal <= 1.3)" "${driver_times[0]}" "${driver_times[1]}"
