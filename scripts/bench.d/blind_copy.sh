# -blind_copy of a 256 MB file (copy, component start, information copy) against
# the system's own "cmd.exe /C copy" of the same file, and against a copy followed
# by a flush of the new file (tests/tools/bench_copy_flush.cpp: what a copy that
# survives a power cut needs at least), all under the same warm server, runs
# alternated. The driver component stand-in comes with this build's package.
qv_install_package || return
blind_copy_folder="$WINEPREFIX/drive_c/qv_bench_blind_copy"
mkdir -p "$blind_copy_folder"
head -c 268435456 /dev/zero > "$blind_copy_folder/big.bin"
blind_copy_program() { "$WINE_LOADER" "$QV_BIN/VlmKdShell.com" -blind_copy 'C:\qv_bench_blind_copy\big.bin' 'C:\qv_bench_blind_copy\shell.bin'; }
blind_copy_system() { "$WINE_LOADER" cmd.exe /C copy /Y 'C:\qv_bench_blind_copy\big.bin' 'C:\qv_bench_blind_copy\system.bin'; }
blind_copy_flushed() { "$WINE_LOADER" "$QV_BIN/bench_copy_flush.exe" 'C:\qv_bench_blind_copy\big.bin' 'C:\qv_bench_blind_copy\flushed.bin'; }
mapfile -t blind_copy_times < <(qv_bench_alternate 7 blind_copy_program blind_copy_system blind_copy_flushed)
qv_bench_ratio "blind_copy 256 MB vs cmd.exe copy (goal <= 1.15)" "${blind_copy_times[0]}" "${blind_copy_times[1]}"
qv_bench_ratio "blind_copy 256 MB vs copy and flush (goal <= 1.15)" "${blind_copy_times[0]}" "${blind_copy_times[2]}"
rm -rf "$blind_copy_folder"
