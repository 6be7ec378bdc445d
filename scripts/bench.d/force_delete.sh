# Force delete's own removal by handle (qv_delete_tree) against the shell's
# delete (SHFileOperationW, which the program no longer uses: the bench tool keeps
# it as the baseline) on identical copies of a tree of 20,000 files in 2,000
# folders, and the removal of the same tree placed below five folders of 60
# characters (every path longer than MAX_PATH).
# Rounds alternate; tests/tools/bench_force_delete.cpp times the removal alone.
# Runs from a scratch current folder: the shell's delete has worked on the current
# folder when it met a path it could not hold.
force_delete_root="$WINEPREFIX/drive_c/qv_bench_force_delete"
force_delete_level=dddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd
force_delete_level=${force_delete_level:0:60}
force_delete_chain="$force_delete_level/$force_delete_level/$force_delete_level/$force_delete_level/$force_delete_level"
rm -rf "$force_delete_root" && mkdir -p "$force_delete_root/cwd" "$force_delete_root/template"
printf canary >"$force_delete_root/cwd/canary.txt"
# 20 folders of 99 folders each: 2,000 folders, 10 files in every one.
(cd "$force_delete_root/template" && for a in $(seq -w 1 20); do
    mkdir -p "t$a" && for f in $(seq 0 9); do printf x >"t$a/f$f.txt"; done
    for b in $(seq -w 1 99); do
        mkdir "t$a/s$b" && for f in $(seq 0 9); do printf x >"t$a/s$b/f$f.txt"; done
    done
done)
mkdir -p "$force_delete_root/deep_template/$force_delete_chain"
cp -a "$force_delete_root/template/." "$force_delete_root/deep_template/$force_delete_chain/"

# force_delete_time <mode> <copy name>: the milliseconds of one removal.
force_delete_time() {
    (cd "$force_delete_root/cwd" && "$WINE_LOADER" "$QV_BIN/bench_force_delete.exe" "$1" \
        "C:\\qv_bench_force_delete\\$2" </dev/null 2>/dev/null | tr -d '\r')
}
force_delete_walk=() force_delete_shell=() force_delete_deep=()
for round in 1 2 3 4 5; do
    cp -a "$force_delete_root/template" "$force_delete_root/walk"
    cp -a "$force_delete_root/template" "$force_delete_root/shell"
    cp -a "$force_delete_root/deep_template" "$force_delete_root/deep"
    force_delete_walk+=("$(force_delete_time walk walk)")
    force_delete_shell+=("$(force_delete_time shell shell)")
    force_delete_deep+=("$(force_delete_time walk deep)")
    for copy in walk shell deep; do
        [ ! -e "$force_delete_root/$copy" ] || echo "force_delete: the $copy copy was not removed whole" >&2
        rm -rf "$force_delete_root/$copy"
    done
done
[ -f "$force_delete_root/cwd/canary.txt" ] || echo "force_delete: the current folder was touched" >&2
if [[ "${force_delete_walk[*]} ${force_delete_shell[*]} ${force_delete_deep[*]}" == *failed* ]]; then
    echo "force_delete: a removal failed: walk ${force_delete_walk[*]}; shell ${force_delete_shell[*]}; deep ${force_delete_deep[*]}"
else
    force_delete_shell_stats=$(qv_bench_stats "${force_delete_shell[@]}")
    qv_bench_ratio "force_delete walk vs shell delete, 20,000 files (goal <= 1.0)" \
        "$(qv_bench_stats "${force_delete_walk[@]}")" "$force_delete_shell_stats"
    qv_bench_ratio "force_delete walk of the deep tree vs shell delete (goal <= 1.2)" \
        "$(qv_bench_stats "${force_delete_deep[@]}")" "$force_delete_shell_stats"
    qv_bench_ratio "force_delete walk of the deep tree vs walk of the shallow one (goal <= 1.2)" \
        "$(qv_bench_stats "${force_delete_deep[@]}")" "$(qv_bench_stats "${force_delete_walk[@]}")"
fi
rm -rf "$force_delete_root"
