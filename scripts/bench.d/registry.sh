# The registry command with a policy text that names all 28 policy values: a run that
# writes them (two texts that differ in every value, taken in turn, so that every run
# changes the registry) and a run stopped by the cached text, each against the usage
# text of the same build. The three runs take turns, so that a change in the load of
# the machine falls on all three alike.
registry_text_a='R+#ALR:1#CSN:A30#DAU:1#DBE:1#DCM:1#DDW:1#DIS:1#DPC:1#EDD:C>\Temp:D>\Work#ENF:1#ENR:1#ENS:1#ENW:1#EPR:a.exe:b.exe#ERD:1#ERS:1#ESD:1#NRP:1#ORO:1#PTP:1#RME:2#RMF:4294967295#RPI:65535#RRM:2#SKY:1#URP:1#V2E:1#LPC:1'
registry_text_b='R-#ALR:0#CSN:N#DAU:0#DBE:0#DCM:0#DDW:0#DIS:0#DPC:0#EDD:E>\Other#ENF:0#ENR:0#ENS:0#ENW:0#EPR:c.exe#ERD:0#ERS:0#ESD:0#NRP:0#ORO:0#PTP:0#RME:0#RMF:0#RPI:1#RRM:0#SKY:0#URP:0#V2E:0#LPC:0'

registry_usage=() registry_write=() registry_cached=()
# The first timed text (a) must differ from the cached one.
"$WINE_LOADER" "$QV_BIN/VlmKdShell.com" -update_registry "$registry_text_b" </dev/null >/dev/null 2>&1
for ((registry_i = 0; registry_i < 21; registry_i++)); do
    registry_text=$registry_text_a
    (( registry_i % 2 )) && registry_text=$registry_text_b
    registry_usage+=($(qv_bench_times 1 "$WINE_LOADER" "$QV_BIN/VlmKdShell.com" | cut -d' ' -f1))
    # Writes every value: the other text is the cached one.
    registry_write+=($(qv_bench_times 1 "$WINE_LOADER" "$QV_BIN/VlmKdShell.com" -update_registry "$registry_text" \
                       | cut -d' ' -f1))
    # The same text again: stopped by the cache.
    registry_cached+=($(qv_bench_times 1 "$WINE_LOADER" "$QV_BIN/VlmKdShell.com" -update_registry "$registry_text" \
                        | cut -d' ' -f1))
done
qv_bench_ratio "policy text of 28 values, cached run vs usage text (goal <= 1.2)" \
    "$(qv_bench_stats "${registry_cached[@]}")" "$(qv_bench_stats "${registry_usage[@]}")"
qv_bench_ratio "policy text of 28 values, writing run vs usage text" \
    "$(qv_bench_stats "${registry_write[@]}")" "$(qv_bench_stats "${registry_usage[@]}")"
