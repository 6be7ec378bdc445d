#!/usr/bin/env bash
# A second compiler over every C and C++ translation unit of the program, the
# stand-ins and the tests: clang for the same target, against the same mingw-w64
# headers and the same (posix thread model) C++ library, with each file's own
# defines, include folders and warning options as the build compiles it.
# Fails on any warning or error, and prints them.
#
#   clang_syntax.sh <build folder> <source folder> [file regex]
#
# Syntax and semantic checks only (-fsyntax-only): code generation and linking
# would cost the run several minutes and find nothing the first compiler's build
# does not already exercise.
set -uo pipefail

BUILD=$(cd "$1" && pwd)
SRC=$(cd "$2" && pwd)
ONLY=${3:-.}
DB=$BUILD/compile_commands.json
JOBS=${QV_CLANG_JOBS:-2}
WORK=$BUILD/clang_syntax
TARGET=x86_64-w64-mingw32

command -v clang++ >/dev/null || { echo "clang++ is not installed"; exit 1; }
command -v jq >/dev/null || { echo "jq is not installed"; exit 1; }
[ -f "$DB" ] || { echo "no $DB: configure the build first"; exit 1; }

# The first compiler's own C++ library headers: clang does not find the posix
# thread model's folder by itself, and must not fall back to the host's.
GCC_DIR=$(dirname "$("$TARGET-g++-posix" -print-libgcc-file-name)")
CXX_INC=$GCC_DIR/include/c++
[ -d "$CXX_INC/$TARGET" ] || { echo "no C++ library headers under $CXX_INC"; exit 1; }
CLANG_FLAGS=(--target=$TARGET --sysroot=/usr/$TARGET -fsyntax-only)
CLANGXX_FLAGS=(-nostdinc++ -isystem "$CXX_INC" -isystem "$CXX_INC/$TARGET" -isystem "$CXX_INC/backward")

# The flags of a first compiler's command under clang: no output file, no -c.
clang_args() {
    local args=() skip=0 a
    read -ra args <<<"$1"
    for a in "${args[@]:1}"; do
        if [ $skip -eq 1 ]; then skip=0; continue; fi
        case $a in
            -o) skip=1 ;;
            -c | -Winvalid-pch) ;;
            # the first compiler's own shared header of a suite: clang reads the
            # file's includes itself
            -include) skip=1 ;;
            *) printf '%s\n' "$a" ;;
        esac
    done
}

# The system headers nearly every C++ file reads, parsed once per set of defines
# (the build's own code and the tests, which add googletest) instead of once per
# file: the check's time is mostly these headers. Only system headers go in, so a
# file still reads its own headers itself; an include a file forgot is the first
# compiler's to find, which builds every file without this.
PCH_HEADER='#include <windows.h>
#if __has_include(<gmock/gmock.h>)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#endif
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>'

# group_of <command>: the file's defines and whether it sees googletest, which is
# what a shared header must agree with.
group_of() {
    local g=N
    [[ $1 == *googletest* ]] && g=G
    printf '%s %s' "$g" "$(grep -o -- ' -D[^ ]*' <<<"$1" | sort | tr -d '\n')" | md5sum | cut -c1-12
}

# make_pch <group> <folder> <command>: the group's shared header, or nothing when
# clang cannot make it (its files are then checked without).
make_pch() {
    local group=$1 dir=$2 flags=() a
    mapfile -t flags < <(clang_args "$3" | grep -v '\.cpp$')
    printf '%s\n' "$PCH_HEADER" >"$WORK/pch-$group.h"
    (cd "$dir" && clang++ --target=$TARGET --sysroot=/usr/$TARGET "${CLANGXX_FLAGS[@]}" "${flags[@]}" \
        -x c++-header "$WORK/pch-$group.h" -o "$WORK/pch-$group.pch") >"$WORK/pch-$group.txt" 2>&1 \
        || rm -f "$WORK/pch-$group.pch"
}

# check_one <number> <folder> <first compiler's command>: the same command under
# clang; its diagnostics land in $WORK/<number>.txt.
check_one() {
    local n=$1 dir=$2 compiler out=() pch=()
    compiler=${3%% *}
    mapfile -t out < <(clang_args "$3")
    if [[ $compiler == *g++* ]]; then
        local group; group=$(group_of "$3")
        [ -f "$WORK/pch-$group.pch" ] && pch=(-include-pch "$WORK/pch-$group.pch")
        (cd "$dir" && clang++ "${CLANG_FLAGS[@]}" "${CLANGXX_FLAGS[@]}" "${pch[@]}" "${out[@]}") >"$WORK/$n.txt" 2>&1
    else
        (cd "$dir" && clang "${CLANG_FLAGS[@]}" "${out[@]}") >"$WORK/$n.txt" 2>&1
    fi
    echo $? >"$WORK/$n.rc"
}

# Our own C and C++ files only: googletest is compiled with warnings off, and the
# resource scripts are not C.
list_units() {
    jq -r --arg src "$SRC/" --arg only "$ONLY" '.[] | select(.file | startswith($src))
        | select(.file | test("/(src|sim|tests)/.*\\.(c|cpp)$")) | select(.file | test($only))
        | [.directory, .command] | @tsv' "$DB"
}

rm -rf "$WORK" && mkdir -p "$WORK"
mapfile -t UNITS < <(list_units)
[ ${#UNITS[@]} -gt 0 ] || { echo "no translation units in $DB"; exit 1; }

# One shared header for each group of C++ files large enough to pay for it.
declare -A GROUP_SIZE GROUP_FIRST
for ((n = 0; n < ${#UNITS[@]}; n++)); do
    IFS=$'\t' read -r dir cmd <<<"${UNITS[n]}"
    [[ ${cmd%% *} == *g++* ]] || continue
    group=$(group_of "$cmd")
    GROUP_SIZE[$group]=$((${GROUP_SIZE[$group]:-0} + 1))
    [ -n "${GROUP_FIRST[$group]:-}" ] || GROUP_FIRST[$group]=$n
done
running=0
for group in "${!GROUP_SIZE[@]}"; do
    [ "${GROUP_SIZE[$group]}" -ge 8 ] || continue
    IFS=$'\t' read -r dir cmd <<<"${UNITS[${GROUP_FIRST[$group]}]}"
    make_pch "$group" "$dir" "$cmd" &
    running=$((running + 1))
    if [ $running -ge "$JOBS" ]; then wait -n; running=$((running - 1)); fi
done
wait

# QV_CLANG_JOBS at a time (two by default; the test run gives the check one core,
# beside the suites on the other); each file's diagnostics go to a
# file of their own, so they are printed whole and in order.
running=0
for ((n = 0; n < ${#UNITS[@]}; n++)); do
    IFS=$'\t' read -r dir cmd <<<"${UNITS[n]}"
    check_one "$n" "$dir" "$cmd" &
    running=$((running + 1))
    if [ $running -ge "$JOBS" ]; then wait -n; running=$((running - 1)); fi
done
wait

failed=0
for ((n = 0; n < ${#UNITS[@]}; n++)); do
    if [ "$(cat "$WORK/$n.rc" 2>/dev/null)" != 0 ] || [ -s "$WORK/$n.txt" ]; then
        cat "$WORK/$n.txt"
        failed=$((failed + 1))
    fi
done
echo "clang: ${#UNITS[@]} translation units ($(ls "$WORK"/*.pch 2>/dev/null | wc -l) shared headers), $failed with diagnostics"
[ $failed -eq 0 ]
