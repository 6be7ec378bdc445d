#!/usr/bin/env bash
# Cabinets written by the program's cabinet writer, read back by two independent
# readers (cabextract, gcab): every reader accepts them, extracted files equal
# their sources byte for byte, and stored names, DOS date and time and the kept
# attributes are right. Sizes at the edges of the MSZIP block and a 100 MB file.
#
#   cab_readers.sh <bin folder>     (WINEPREFIX as set up by scripts/test)
set -uo pipefail

BIN=$(cd "$1" && pwd)
export QV_BUILD=$(cd "$BIN/.." && pwd)
source "$(dirname "$0")/../../scripts/lib/wine_env.sh"
source "$(dirname "$0")/suite_lib.sh"
export WINEPREFIX=${WINEPREFIX:-$QV_BUILD/wineprefix-test}
WORK=$QV_BUILD/cab_readers_work

write_cab() { "$WINE_LOADER" "$BIN/cab_write.exe" "$@" 2>/dev/null | tr -d '\r'; }

# expect_listing <cabinet> <expected gcab -l lines>
expect_listing() {
    local listing
    listing=$(gcab -l "$1" 2>&1) || { fail "gcab -l rejects $(basename "$1"): $listing"; return; }
    [ "$listing" = "$2" ] || fail "gcab listing of $(basename "$1"):"$'\n'"$listing"$'\n'"expected:"$'\n'"$2"
}

# expect_extracts <cabinet> <stored name> <source>...: cabextract tests and extracts,
# and every stored file equals its source.
expect_extracts() {
    local cab=$1 out=$WORK/out; shift
    cabextract -q -t "$cab" >/dev/null 2>&1 || fail "cabextract -t rejects $(basename "$cab")"
    rm -rf "$out"; mkdir -p "$out"
    cabextract -q -d "$out" "$cab" >/dev/null 2>&1 || fail "cabextract cannot extract $(basename "$cab")"
    while [ $# -ge 2 ]; do
        cmp -s "$out/$1" "$2" || fail "$1 in $(basename "$cab") differs from its source"
        shift 2
    done
    rm -rf "$out"
}

rm -rf "$WORK"; mkdir -p "$WORK"
cd "$WORK" || exit 1

# Small files: 0 bytes, 1 byte, exactly one MSZIP block, one byte past it, UTF-16 text.
: > zero.qv
printf 'x' > one.qv
head -c 32768 /dev/urandom > block.bin
head -c 32769 /dev/urandom > block_plus.bin
for i in $(seq 1 2000); do printf 'record %d of the trace\r\n' "$i"; done | iconv -f ASCII -t UTF-16LE > utf16.qv
result=$(write_cab \
    -a 27 "$(qv_windows_path "$WORK/one.qv")" -t 20240305134523 "$(qv_windows_path "$WORK/one.qv")" \
    -a 21 "$(qv_windows_path "$WORK/zero.qv")" -t 20231231235958 "$(qv_windows_path "$WORK/zero.qv")" \
    -a 2001 "$(qv_windows_path "$WORK/block.bin")" -t 20200229000000 "$(qv_windows_path "$WORK/block.bin")" \
    -a 2120 "$(qv_windows_path "$WORK/block_plus.bin")" -t 19800101000000 "$(qv_windows_path "$WORK/block_plus.bin")" \
    -t 20260101120000 "$(qv_windows_path "$WORK/utf16.qv")" \
    "$(qv_windows_path "$WORK/sub dir/small.cab")" \
    "$(qv_windows_path "$WORK/zero.qv")" SysTraceFile.qv \
    "$(qv_windows_path "$WORK/one.qv")" UsrTraceFile.qv \
    +"$(qv_windows_path "$WORK/block.bin")" +"$(qv_windows_path "$WORK/block_plus.bin")" +"$(qv_windows_path "$WORK/utf16.qv")")
[ "$result" = $'add 1\nadd 1\nadd 1\nadd 1\nadd 1\nflush 1' ] || fail "writing small.cab: $result"
# Attributes: read-only, hidden, system, archive kept; not-indexed (0x2000) and
# temporary (0x100) dropped. Wine keeps archive (0x20) on every file, so block.bin,
# set to read-only and not-indexed, is stored as 0x21 (on Windows: 0x1). Times are local, in two-second steps.
expect_listing "sub dir/small.cab" "SysTraceFile.qv 0 2023-12-31 23:59:58 0x21
UsrTraceFile.qv 1 2024-03-05 13:45:22 0x27
block.bin 32768 2020-02-29 00:00:00 0x21
block_plus.bin 32769 1980-01-01 00:00:00 0x20
utf16.qv $(stat -c %s utf16.qv) 2026-01-01 12:00:00 0x20"
expect_extracts "sub dir/small.cab" SysTraceFile.qv zero.qv UsrTraceFile.qv one.qv block.bin block.bin \
    block_plus.bin block_plus.bin utf16.qv utf16.qv
ls "sub dir" | grep -vx small.cab | grep -q . && fail "files left beside small.cab: $(ls "sub dir")"

# An archive without files: the library finishes it as a bare header, which both
# readers find empty (they report no valid cabinet). The writer reports success.
result=$(write_cab "$(qv_windows_path "$WORK/empty.cab")" "$(qv_windows_path "$WORK/missing.qv")" UsrTraceFile.qv)
[ "$result" = $'add 0\nflush 1' ] || fail "writing empty.cab: $result"
[ "$(stat -c %s empty.cab 2>/dev/null)" = 36 ] || fail "empty.cab is not a 36-byte header"
cabextract -q -t empty.cab >/dev/null 2>&1 && fail "cabextract finds files in empty.cab"

# gcab extracts every stored file and each equals its expected content.
expect_gcab_extracts() {
    local cab=$1 out=$WORK/gout; shift
    rm -rf "$out"; mkdir -p "$out"
    gcab -x -C "$out" "$cab" >/dev/null 2>&1 || fail "gcab cannot extract $(basename "$cab")"
    while [ $# -ge 2 ]; do
        cmp -s "$out/$1" "$2" || fail "$1 in $(basename "$cab") differs for gcab"
        shift 2
    done
    rm -rf "$out"
}

# The number of folders in a cabinet's header.
folder_count() { od -An -tu2 -j26 -N2 "$1" | tr -d ' '; }

# Folders held below a lowered limit: a UTF-16 trace larger than a folder keeps
# its mark and its last whole lines that fit (lines end in "\n" or "\r\n"), and
# files that do not fit one folder together go into two. Both readers take them.
check_folder_limit() {
    local limit=70000 i line kept=2 lines=()
    for i in $(seq 1 4000); do
        line="P:  12,T:  34 VlmKdShell.com!dx_shell_dispatch: argv[$((i % 5))] = '-x' ($i)"
        [ $((i % 4)) = 0 ] && lines+=("$line"$'\r\n') || lines+=("$line"$'\n')
    done
    { printf '\xff\xfe'; printf '%s' "${lines[@]}" | iconv -f ASCII -t UTF-16LE; } > trace.qv
    # Whole lines from the end while they fit beside the mark: 2 bytes a character.
    for ((i = ${#lines[@]} - 1; i >= 0; i--)); do
        [ $((kept + 2 * ${#lines[i]})) -le $limit ] || break
        kept=$((kept + 2 * ${#lines[i]}))
    done
    { printf '\xff\xfe'; tail -c $((kept - 2)) trace.qv; } > trace_kept.qv
    head -c 40000 /dev/urandom > r1.bin; head -c 40000 /dev/urandom > r2.bin
    result=$(write_cab -folder_limit $limit "$(qv_windows_path "$WORK/limit.cab")" "$(qv_windows_path "$WORK/r1.bin")" r1.bin \
        "$(qv_windows_path "$WORK/r2.bin")" r2.bin "$(qv_windows_path "$WORK/trace.qv")" UsrTraceFile.qv)
    [ "$result" = $'add 1\nadd 1\nadd 1\nflush 1' ] || fail "writing limit.cab: $result"
    [ "$(folder_count limit.cab)" = 3 ] || fail "limit.cab holds $(folder_count limit.cab) folders, not 3"
    expect_extracts limit.cab r1.bin r1.bin r2.bin r2.bin UsrTraceFile.qv trace_kept.qv
    expect_gcab_extracts limit.cab r1.bin r1.bin r2.bin r2.bin UsrTraceFile.qv trace_kept.qv
    rm -f trace.qv trace_kept.qv r1.bin r2.bin limit.cab
}
check_folder_limit

# A 100 MB trace-like file.
awk 'BEGIN { for (i = 0; i < 1600000; i++) printf "%08d 0x%08x VlmKdShell.com dx_shell_dispatch argv[%d] = \x27-eut\x27\r\n", i, i * 2654435761 % 4294967296, i % 7 }' \
    | head -c 100000000 > big.qv
result=$(write_cab "$(qv_windows_path "$WORK/big.cab")" "$(qv_windows_path "$WORK/big.qv")" UsrTraceFile.qv)
[ "$result" = $'add 1\nflush 1' ] || fail "writing big.cab: $result"
expect_listing big.cab "UsrTraceFile.qv 100000000 $(date -d "@$(stat -c %Y big.qv)" '+%Y-%m-%d %H:%M:')$(printf '%02d' $(( $(date -d "@$(stat -c %Y big.qv)" +%-S) / 2 * 2 ))) 0x20"
expect_extracts big.cab UsrTraceFile.qv big.qv
rm -f big.qv big.cab

cd / && rm -rf "$WORK"
qv_suite_end cab_readers
