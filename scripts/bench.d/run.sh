# scripts/vlmkdshell on a prefix that is current (package installed, server up)
# against the installed program run directly, under the same warm server: what the
# run command adds to a call. Goals: ratio <= 1.10 and at most 0.3 s added. Also the
# time the package takes to install again (uninstall, then install).
export QV_RUN_PREFIX=$WINEPREFIX
qv_install_package 2>/dev/null || { echo "run: the package does not install"; return 0; }
run_command() { "$QV_ROOT/scripts/vlmkdshell"; }
run_direct() { "$WINE_LOADER" "$QV_INSTALL_WINDIR\\VlmKdShell.com"; }
run_command >/dev/null 2>&1   # the run command's own first-call work is not what is measured
mapfile -t run_times < <(qv_bench_alternate 21 run_command run_direct)
qv_bench_ratio "usage text through scripts/vlmkdshell vs the installed program run directly (goal <= 1.10)" \
    "${run_times[0]}" "${run_times[1]}"
awk -v c="${run_times[0]%% *}" -v b="${run_times[1]%% *}" \
    'BEGIN { printf "run command adds %.1f ms to a call (goal <= 300 ms)\n", c - b }'
rm -f "$(qv_package_stamp)"
run_install_start=$(date +%s%N)
qv_install_package 2>/dev/null
echo "package installed again in $(( ($(date +%s%N) - run_install_start) / 1000000 )) ms"
