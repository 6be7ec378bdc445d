#!/usr/bin/env bash
# scripts/vlmkdshell as a user meets it, in a run prefix of its own: the first call
# makes the prefix and installs the package (and says so), calls at once all work
# and install once, an interrupted install leaves a prefix the next call repairs,
# a removed product comes back, texts show as UTF-8 (bytes kept with --raw), Wine
# tools run in the prefix, and the headless GUI printer keeps lines whole.
#
#   run_command.sh <build folder>
set -uo pipefail

export QV_BUILD=$(cd "$1" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export QV_RUN_PREFIX=$QV_BUILD/wineprefix-runtest
RUN=$ROOT/scripts/vlmkdshell
WORK=$(mktemp -d)
LONG_LINE=' -change_tracing <flagpattern>=<level> . Change the output levels of some driver trace flags'
GUI_LONG_LINE=$' -change_tracing <flagpattern>=<level> \t\t change the output levels of some driver trace flags'

# The run command is tried as a user has it: this suite sources none of its library.
source "$(dirname "$0")/suite_lib.sh"
cleanup() {
    WINEPREFIX=$QV_RUN_PREFIX /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1
    rm -rf "$WORK" "$QV_RUN_PREFIX"
}
trap cleanup EXIT

# run <name> <arguments...>: one call without a display of ours; its stdout, stderr
# and exit code land in $WORK/<name>.{out,err,rc}.
run() {
    local name=$1; shift
    env -u DISPLAY "$RUN" "$@" </dev/null >"$WORK/$name.out" 2>"$WORK/$name.err"
    echo $? >"$WORK/$name.rc"
}

expect_usage() {
    [ "$(cat "$WORK/$1.rc")" = 0 ] || fail "$1: exit code $(cat "$WORK/$1.rc"): $(cat "$WORK/$1.err")"
    grep -qxF -- "$LONG_LINE" "$WORK/$1.out" || fail "$1: no usage text: $(head -c 300 "$WORK/$1.out")"
}

# expect_err <name> <expected stderr, one line or empty>
expect_err() {
    [ "$(cat "$WORK/$1.err")" = "$2" ] || fail "$1: standard error: '$(cat "$WORK/$1.err")', expected '$2'"
}

rm -rf "$QV_RUN_PREFIX"
run first
expect_usage first
grep -qxF "vlmkdshell: installing the product package VlmKd.msi into $QV_RUN_PREFIX" "$WORK/first.err" \
    || fail "first call: $(cat "$WORK/first.err")"

for n in 1 2 3 4; do run "four$n" & done
wait
for n in 1 2 3 4; do expect_usage "four$n"; expect_err "four$n" ""; done

# A new package (here: a lost stamp) is installed once, whoever comes first.
rm -f "$QV_RUN_PREFIX/.vlmkd-package"
run pair1 & run pair2 & wait
expect_usage pair1; expect_usage pair2
[ "$(cat "$WORK/pair1.err" "$WORK/pair2.err" | grep -c 'installing the product package again')" = 1 ] \
    || fail "two calls, one install: $(cat "$WORK/pair1.err" "$WORK/pair2.err")"

# Ctrl-C in the middle of a reinstall: the next call finds the product and runs.
rm -f "$QV_RUN_PREFIX/.vlmkd-package"
env -u DISPLAY timeout -s INT 1.5 "$RUN" </dev/null >/dev/null 2>&1
run after_interrupt
expect_usage after_interrupt

# The product removed as -force_uninstall removes it: the next call installs it again.
run remove --wine 'C:\windows\system32\cmd.exe' /C 'MsiExec.exe /norestart /x{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}'
for i in $(seq 1 40); do [ -e "$QV_RUN_PREFIX/drive_c/Program Files/Velmora" ] || break; sleep 0.5; done
run back
expect_usage back
expect_err back "vlmkdshell: installing the product package again (VlmKd.msi changed or the product was removed)"

# Texts in the ANSI code page: shown as UTF-8, written unchanged with --raw.
run eut -eut
run cafe -collect_user_mode_trace 'C:\users\Public\café'
run cafe_raw --raw -collect_user_mode_trace 'C:\users\Public\café'
grep -q 'C:\\users\\Public\\café.cab' "$WORK/cafe.out" || fail "UTF-8 output: $(cat "$WORK/cafe.out" "$WORK/cafe.err")"
grep -q $'C:\\\\users\\\\Public\\\\caf\xe9 (1).cab' "$WORK/cafe_raw.out" || fail "raw output: $(od -c "$WORK/cafe_raw.out" | head)"

# What a command left in the registry, seen through a Wine tool in the same prefix,
# volatile keys included while the server lingers.
run policy -update_registry 'R+#DAU:1'
run reboot_key --wine reg query 'HKLM\SYSTEM\CurrentControlSet\services\VlmCvKD\RebootRequest'
[ "$(cat "$WORK/reboot_key.rc")" = 0 ] || fail "reg query of the reboot request key: $(cat "$WORK/reboot_key.out")"

run gui --gui
[ "$(cat "$WORK/gui.rc")" = 0 ] || fail "--gui: exit code $(cat "$WORK/gui.rc")"
grep -qx '\[message box\] VlmKdShell.exe' "$WORK/gui.out" || fail "--gui: no box: $(head -c 300 "$WORK/gui.out" "$WORK/gui.err")"
grep -qxF -- "$GUI_LONG_LINE" "$WORK/gui.out" || fail "--gui: long line not whole: $(cat "$WORK/gui.out")"

qv_suite_end "run command"
