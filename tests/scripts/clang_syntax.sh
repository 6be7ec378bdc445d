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

# check_one <number> <folder> <first compiler's command>: the same command under
# clang, without output file; its diagnostics land in $WORK/<number>.txt.
check_one() {
    local n=$1 dir=$2 compiler args=() out=() skip=0 a
    read -ra args <<<"$3"
    compiler=${args[0]}
    for a in "${args[@]:1}"; do
        if [ $skip -eq 1 ]; then skip=0; continue; fi
        case $a in
            -o) skip=1 ;;
            -c) ;;
            *) out+=("$a") ;;
        esac
    done
    if [[ $compiler == *g++* ]]; then
        (cd "$dir" && clang++ "${CLANG_FLAGS[@]}" "${CLANGXX_FLAGS[@]}" "${out[@]}") >"$WORK/$n.txt" 2>&1
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

# Two at a time (the machines have two cores); each file's diagnostics go to a
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
echo "clang: ${#UNITS[@]} translation units, $failed with diagnostics"
[ $failed -eq 0 ]
