#!/usr/bin/env bash
# The progress of long work as a person and as a script see it, through
# progress_drive (a slowed loop under the reporter): on a console (a
# pseudo-terminal made by script) a line on standard error, erased before the
# result; with standard error redirected, or without a console, exactly the
# result's bytes; Ctrl+C sent to the console stops the work with the system's
# text for a cancelled operation; under the display, the dialog's Cancel stops it.
# Then the commands themselves: a collect of a large trace on a console and
# redirected, and a collect, a blind copy and a force delete stopped by Cancel and by Ctrl+C
# (through progress_command, which slows their steps), each leaving things as
# they were.
#
#   progress_console.sh <bin folder>     (WINEPREFIX and DISPLAY as set up by scripts/test)
set -uo pipefail

BIN=$(cd "$1" && pwd)
export WINEPREFIX=${WINEPREFIX:-$BIN/../wineprefix-test}
WINE=/usr/lib/wine/wine64
WORK=$BIN/../progress_console_work
FAILURES=0

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }

# on_console <file> <progress_drive arguments...>: runs it on a pseudo-terminal and
# keeps what the terminal showed, without the console's escape sequences.
on_console() {
    local out=$1; shift
    timeout 120 script -qec "$WINE $BIN/progress_drive.exe $*" /dev/null </dev/null >"$out.raw" 2>&1
    sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$out.raw" >"$out"
}

rm -rf "$WORK"; mkdir -p "$WORK"
RESULT=$'said during the work\ndone: 40 steps\n'

# A console: figures on the line, rewritten in place; the line is gone before each text.
on_console "$WORK/console" bytes 40 50 --say-at 30
grep -aq 'GB of 2\.5 GB, [0-9]*%' "$WORK/console" || fail "no progress line on the console: $(cat -v "$WORK/console")"
grep -aq '%said\|%done' "$WORK/console" && fail "a text written over the progress line: $(cat -v "$WORK/console")"
grep -aq 'done: 40 steps' "$WORK/console" || fail "no result on the console: $(cat -v "$WORK/console")"

# Standard error redirected on a console: nothing goes into it.
on_console "$WORK/redirected" bytes 40 50 --say-at 30 "2>$WORK/stderr"
[ -f "$WORK/stderr" ] && [ ! -s "$WORK/stderr" ] || fail "standard error redirected received: $(cat -v "$WORK/stderr")"
grep -aq '%' "$WORK/redirected" && fail "figures on the console with standard error redirected: $(cat -v "$WORK/redirected")"

# No console at all: the result's bytes and nothing else.
"$WINE" "$BIN/progress_drive.exe" bytes 40 50 --say-at 30 </dev/null >"$WORK/out" 2>"$WORK/err"
[ "$(cat "$WORK/out"; echo .)" = "$RESULT." ] || fail "output to files differs: $(cat -v "$WORK/out")"
[ ! -s "$WORK/err" ] || fail "standard error to a file received: $(cat -v "$WORK/err")"

# Ctrl+C, the console's control event, stops the work at a step; the process reports.
on_console "$WORK/ctrl_c" entries 60 50 --ctrl-c-at 30
grep -aq 'entries removed' "$WORK/ctrl_c" || fail "no entries line on the console: $(cat -v "$WORK/ctrl_c")"
grep -aqE 'stopped at step (3[0-9]|[45][0-9]): [A-Za-z]' "$WORK/ctrl_c" \
    || fail "Ctrl+C did not stop the work with a text: $(cat -v "$WORK/ctrl_c")"

# The dialog, loaded as the program loads it (from the system folder only); Cancel pressed.
"$WINE" "$BIN/progress_drive.exe" bytes 200 50 --gui --press-cancel </dev/null >"$WORK/gui" 2>&1
grep -aqE '^stopped at step [0-9]+: ' "$WORK/gui" || fail "Cancel in the dialog did not stop the work: $(cat -v "$WORK/gui")"
seen_at=$(sed -n 's/^\[progress dialog at step \([0-9]*\)\] Velmora Orrisguard.*/\1/p' "$WORK/gui")
[ -n "$seen_at" ] || fail "no progress dialog (no DISPLAY?): $(cat -v "$WORK/gui")"
# 50 ms a step: a dialog shown after a second is not seen before the 15th step.
[ -n "$seen_at" ] && [ "$seen_at" -lt 15 ] && fail "the dialog came at step $seen_at, within the first second"

# The collect of a large trace: figures on a console, today's bytes when redirected.
temp_unix=$("$WINE" winepath -u "$("$WINE" cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null | tr -d '\r')
user_trace=$temp_unix/TraceFile.qv
[ -e "$user_trace" ] && mv "$user_trace" "$WORK/kept_trace"
awk 'BEGIN { for (i = 0; i < 16384; i++) printf "%08d [1234:5678] a line of a busy day in the trace\r\n", i * 7919 }' \
    | iconv -f ASCII -t UTF-16LE | head -c 1048576 >"$WORK/chunk"
for i in $(seq 300); do cat "$WORK/chunk"; done >"$user_trace"
work_windows=$("$WINE" winepath -w "$WORK" 2>/dev/null | tr -d '\r')
collect() { "$WINE" "$BIN/VlmKdShell.com" -collect_user_mode_trace "$work_windows\\$1.cab"; }
rule=------------------------------------------------------------------------------
printf -v expected '\n%s\n The application has now gathered the user mode trace files into the file:\n %s\n%s\n' \
    "$rule" "$work_windows\\quiet.cab" "$rule"
timeout 300 script -qec "$WINE $BIN/VlmKdShell.com -collect_user_mode_trace '$work_windows\\shown.cab'" /dev/null \
    </dev/null >"$WORK/collect.raw" 2>&1
sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$WORK/collect.raw" | tr -d '\r' >"$WORK/collect"
grep -aqE 'MB of 30[0-9]\.[0-9] MB, [0-9]+%' "$WORK/collect" || fail "no collect progress on the console: $(head -c 400 "$WORK/collect" | cat -v)"
grep -aq 'gathered the user mode trace files into the file:' "$WORK/collect" || fail "no collect result on the console"
collect quiet </dev/null >"$WORK/quiet.out" 2>"$WORK/quiet.err"
[ "$(cat "$WORK/quiet.out"; echo .)" = "$expected." ] || fail "collect redirected printed: $(cat -v "$WORK/quiet.out")"
[ ! -s "$WORK/quiet.err" ] || fail "collect redirected wrote to standard error: $(cat -v "$WORK/quiet.err")"
rm -f "$user_trace" "$WORK"/*.cab
[ -e "$WORK/kept_trace" ] && mv "$WORK/kept_trace" "$user_trace"

# Stopped work, slowed: <command> <how> where how is gui (Cancel pressed in the
# dialog) or console (Ctrl+C at the third step, on a pseudo-terminal). Each leaves
# things as they were and shows the failure with the system's text.
CANCELS=(
    "collect gui"
    "collect console"
    "copy gui"
    "copy console"
    "delete gui"
    "delete console"
)
prepare() {  # <case folder>
    mkdir -p "$1/tmp" "$1/out"
    cat "$WORK/chunk" "$WORK/chunk" "$WORK/chunk" "$WORK/chunk" >"$1/tmp/TraceFile.qv"
    head -c 16777216 /dev/urandom >"$1/source.bin"
    echo "the older destination" >"$1/out/destination.bin"
    mkdir -p "$1/out/tree/inner"
    for i in $(seq 20); do echo "$i" >"$1/out/tree/f$i.txt"; echo "$i" >"$1/out/tree/inner/g$i.txt"; done
}
operands() {  # <command> <case folder, Windows form>
    case $1 in
        collect) echo "'$2\\out\\trace.cab' '$2\\tmp'" ;;
        copy) echo "'$2\\source.bin' '$2\\out\\destination.bin'" ;;
        delete) echo "'$2\\out\\tree'" ;;
    esac
}
left_as_it_was() {  # <command> <case folder> <label>
    local extra left
    left=$(find "$2/out/tree" -type f 2>/dev/null | wc -l)
    [ "$1" = delete ] && { [ "$left" -gt 0 ] && [ "$left" -lt 40 ] || fail "$3: $left of 40 files stay"; }
    [ "$1" = delete ] || [ "$left" -eq 40 ] || fail "$3: the tree beside changed"
    case $1 in
        collect) extra=$(ls -A "$2/out" | grep -v '^destination\.bin$\|^tree$'; ls -A "$2/tmp" | grep -v '^TraceFile\.qv$') ;;
        copy | delete) extra=$(ls -A "$2/out" | grep -v '^destination\.bin$\|^tree$') ;;
    esac
    [ -z "$extra" ] || fail "$3: left behind: $extra"
    [ "$(cat "$2/out/destination.bin")" = "the older destination" ] || fail "$3: the older destination changed"
}
for row in "${CANCELS[@]}"; do
    read -r command how <<<"$row"
    case_dir=$WORK/$command-$how
    prepare "$case_dir"
    args="$command $how 150 $( [ "$how" = gui ] && echo --press-cancel || echo --ctrl-c-at 3) \
          $(operands "$command" "$("$WINE" winepath -w "$case_dir" 2>/dev/null | tr -d '\r')")"
    if [ "$how" = gui ]; then
        eval "timeout 120 \"$WINE\" \"$BIN/progress_command.exe\" $args" </dev/null >"$case_dir.log" 2>&1
        grep -aq '^\[progress dialog\]' "$case_dir.log" || fail "$row: no progress dialog: $(cat -v "$case_dir.log")"
        grep -aA3 '^\[box\]' "$case_dir.log" | grep -aq 'Operation canceled by user' \
            || fail "$row: no failure box with the system's text: $(cat -v "$case_dir.log")"
    else
        timeout 120 script -qec "$WINE $BIN/progress_command.exe $args" /dev/null </dev/null >"$case_dir.log" 2>&1
        grep -aq 'Operation canceled by user' "$case_dir.log" || fail "$row: no system text: $(cat -v "$case_dir.log")"
    fi
    [ "$command" = collect ] && ! grep -aq 'Failed to gather user mode trace files!' "$case_dir.log" \
        && fail "$row: no collect failure text: $(cat -v "$case_dir.log")"
    [ "$command" = delete ] && ! grep -aq 'Failed to force delete ' "$case_dir.log" \
        && fail "$row: no force delete failure text: $(cat -v "$case_dir.log")"
    left_as_it_was "$command" "$case_dir" "$row"
done

rm -rf "$WORK"
[ "$FAILURES" -eq 0 ] && echo "progress_console: all cases passed"
exit $((FAILURES > 0))
