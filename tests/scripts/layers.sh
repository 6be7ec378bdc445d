#!/usr/bin/env bash
# The folders of src/ meet only where layers.allowed (beside this script) says:
# every #include of a file in another folder of src/ is an edge between the two
# folders, and an edge that is not listed fails, with the lines that make it.
#
#   layers.sh <source folder>
set -uo pipefail

SRC=$(cd "$1/src" && pwd)
ALLOWED=${QV_LAYERS_ALLOWED:-$(dirname "$0")/layers.allowed}
FAILURES=0

[ -f "$ALLOWED" ] || { echo "no list of allowed edges: $ALLOWED"; exit 1; }

# The allowed edges as "from to" words, comments and blank lines left out.
mapfile -t EDGES < <(sed 's/#.*//' "$ALLOWED" | awk 'NF == 2 { print $1 " " $2 } NF != 0 && NF != 2 { print "BAD " $0 }')
for e in "${EDGES[@]}"; do
    [[ $e == BAD* ]] && { echo "malformed line in $ALLOWED: ${e#BAD }"; exit 1; }
done

allowed() {
    local e
    for e in "${EDGES[@]}"; do
        [ "$e" = "$1 $2" ] || [ "$e" = "* $2" ] && return 0
    done
    return 1
}

# folder_of <including file> <included name>: the folder of src/ the name reaches,
# looked up as the compiler does (the including file's folder first, then src/),
# or nothing for a name outside src/ (system and generated headers).
folder_of() {
    local dir=${1%/*} target
    if [ -f "$dir/$2" ]; then
        target=$dir/$2
    elif [ -f "$SRC/$2" ]; then
        target=$SRC/$2
    else
        return
    fi
    [[ $target == */../* ]] && target=$(realpath -m "$target")
    [[ $target == "$SRC"/*/* ]] || return
    target=${target#"$SRC"/}
    echo "${target%%/*}"
}

# Every #include line of a source file of src/, quoted or angled, as
# "<file>:<line>:<name>".
include_lines() {
    find "$SRC" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.rc' -o -name '*.in' \) \
        -print0 | sort -z | xargs -0 grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' |
        sed -E 's/^([^:]*:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"].*/\1:\2/'
}

edges=0
while IFS=: read -r file line name; do
    from=${file#"$SRC"/}
    from=${from%%/*}
    to=$(folder_of "$file" "$name")
    [ -z "$to" ] || [ "$to" = "$from" ] && continue
    edges=$((edges + 1))
    allowed "$from" "$to" && continue
    echo "FAIL: ${file#"$SRC"/}:$line includes \"$name\": $from may not use $to (not in ${ALLOWED##*/})"
    FAILURES=$((FAILURES + 1))
done < <(include_lines)

echo "layers: $edges includes between folders, $FAILURES not allowed"
[ "$edges" -gt 0 ] || { echo "FAIL: no include between folders found under $SRC"; exit 1; }
[ $FAILURES -eq 0 ]
