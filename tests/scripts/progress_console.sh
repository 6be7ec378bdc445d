#!/usr/bin/env bash
# The progress of long work as a person and as a script see it, through
# progress_drive (a slowed loop under the reporter): on a console (a
# pseudo-terminal made by script) a line on standard error, erased before the
# result; with standard error redirected, or without a console, exactly the
# result's bytes; Ctrl+C sent to the console stops the work with the system's
# text for a cancelled operation; under the display, the dialog's Cancel stops it.
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

rm -rf "$WORK"
[ "$FAILURES" -eq 0 ] && echo "progress_console: all cases passed"
exit $((FAILURES > 0))
