#!/usr/bin/env bash
# The sweep over the writing commands, then every archive it kept aside read back
# by an independent reader (cabextract), which must give both trace files whole.
# Runs in a Wine prefix of its own (wineprefix-sweep beside the bin folder), with
# the product package installed, so that it runs beside the suites that share the
# test prefix.
# Usage: sweep.sh <bin folder> [GoogleTest arguments, e.g. --gtest_filter=*/collect]
set -uo pipefail
bin=$(cd "$1" && pwd)
shift
export QV_BUILD=$(cd "$bin/.." && pwd)
source "$(dirname "$0")/../../scripts/lib/wine_env.sh"
trap qv_stop_wine EXIT
qv_own_prefix "$QV_BUILD/wineprefix-sweep" 2>&1 || { echo "could not prepare the sweep's prefix"; exit 1; }
cabinets=$WINEPREFIX/drive_c/sweep/cabinets
rm -rf "$cabinets"

# Through a file, as the test emulator does: a Wine process the sweep happens to
# start may hold a pipe open after the sweep has ended.
out=$(mktemp)
trap 'rm -f "$out"; qv_stop_wine' EXIT
"$WINE_LOADER" "$bin/sweep_commands.exe" "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"

kept=0 broken=0
for cab in "$cabinets"/*.cab; do
    [ -e "$cab" ] || continue
    kept=$((kept + 1))
    x=$(mktemp -d)
    # One trace file may be missing (the collect goes on without a file it cannot
    # read); whatever is there must be the trace file byte for byte.
    whole=0 files=0
    if cabextract -q -d "$x" "$cab" >/dev/null 2>&1; then
        files=$(find "$x" -type f | wc -l)
        for f in SysTraceFile.qv UsrTraceFile.qv; do
            [ -e "$x/$f" ] && cmp -s "$x/$f" "$cabinets/$f" && whole=$((whole + 1))
        done
    fi
    if [ "$whole" -eq 0 ] || [ "$whole" -ne "$files" ]; then
        echo "sweep collect: the kept archive $(basename "$cab") does not give its trace files back whole"
        broken=$((broken + 1))
    fi
    rm -rf "$x"
done
echo "sweep cabinets: $kept kept archives read back by cabextract, $broken broken"
[ "$rc" -eq 0 ] && [ "$broken" -eq 0 ]
