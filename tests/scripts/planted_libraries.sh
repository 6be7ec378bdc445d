#!/usr/bin/env bash
# No library planted beside the program runs in it.
#
# The import tables of both builds name only known DLLs of Windows, which the system
# takes from its own folder whatever lies beside a program. Then copies of both
# builds go into a folder of their own, with libraries under the names of system
# libraries that are not known DLLs (cabinet, uxtheme, dwmapi) lying beside them
# and in the current folder, and Wine is told to search for those names as Windows
# does (the program's folder first). Each planted copy leaves a marker file when a
# process loads it; none may appear while the copies show their usage text, run the
# version self-test, collect the trace, show a message box, and make force delete's
# elevated second start from that folder.
#
# A Wine prefix of its own (its server runs with Xvfb and a desktop keeper).
#   planted_libraries.sh <build folder> <prefix folder>
set -uo pipefail

build=$(cd "$1" && pwd)
export WINEPREFIX=$(realpath -m "$2")
export QV_BUILD=$build
source "$(dirname "$0")/../../scripts/lib/wine_env.sh"
source "$(dirname "$0")/suite_lib.sh"

# Known DLLs on Windows 7 and later; ntdll is mapped into every process first.
KNOWN_DLLS="advapi32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll"
PLANTED="cabinet uxtheme dwmapi"
PLANT=$WINEPREFIX/drive_c/plant
HERE=$WINEPREFIX/drive_c/plant-cwd
# A program that calls into a planted library crashes: no debugger may wait on it.
OVERRIDES="$WINEDLLOVERRIDES;${PLANTED// /,}=n,b;winedbg.exe=d"

trap qv_stop_all EXIT
trap 'exit 130' INT TERM

# ---- import tables ----------------------------------------------------------

STEP=imports
for program in VlmKdShell.exe VlmKdShell.com; do
    imports=$(x86_64-w64-mingw32-objdump -p "$QV_BIN/$program" | awk '/DLL Name:/ { print tolower($3) }')
    [ -n "$imports" ] || fail "no import table read from $program"
    for dll in $imports; do
        case " $KNOWN_DLLS " in
        *" $dll "*) ;;
        *) fail "$program imports $dll, which is not a known DLL" ;;
        esac
    done
done

# ---- planted libraries --------------------------------------------------------

# run <name> <program> <argument...>: runs a program of the plant folder (or a tool
# of the build) from the current folder HERE, Wine searching for the planted names
# as Windows does; output in HERE/<name>.out, exit code in HERE/<name>.rc. Wine's
# rare failed start (exit 1, no output) is tried once more; a run is stopped after a
# minute.
run() {
    local name=$1 program=$2 try rc; shift 2
    for try in 1 2; do
        (cd "$HERE" && WINEDLLOVERRIDES=$OVERRIDES timeout -s KILL 60 "$WINE_LOADER" "$program" "$@" \
            </dev/null >"$name.out" 2>&1)
        rc=$?
        [ "$rc" -eq 1 ] && [ ! -s "$HERE/$name.out" ] || break
    done
    echo "$rc" >"$HERE/$name.rc"
}

expect_output() {
    grep -qF -- "$2" "$HERE/$1.out" || fail "no '$2' in what $1 wrote: $(head -c 400 "$HERE/$1.out")"
}

# Every marker is a fault of the step that just ran; it is reported and removed.
expect_no_marker() {
    local marker
    for marker in "$PLANT"/*.ran "$HERE"/*.ran; do
        [ -e "$marker" ] || continue
        fail "$(basename "${marker%.ran}") in $(basename "$(dirname "$marker")") ran in: $(tr '\n' ' ' <"$marker")"
        rm -f "$marker"
    done
}

plant() {
    rm -rf "$PLANT" "$HERE" && mkdir -p "$PLANT" "$HERE" || return 1
    cp "$QV_BIN/VlmKdShell.exe" "$QV_BIN/VlmKdShell.com" "$QV_BIN/force_delete_not_admin.exe" "$PLANT/" || return 1
    local name
    for name in $PLANTED; do
        cp "$QV_BIN/planted_library.dll" "$PLANT/$name.dll" && cp "$QV_BIN/planted_library.dll" "$HERE/$name.dll" ||
            return 1
    done
}

# The elevated copy is not waited for: the file's going shows that it ran.
wait_gone() {
    local i
    for i in $(seq 1 100); do
        [ -e "$1" ] || return 0
        sleep 0.2
    done
    return 1
}

STEP=setup
qv_start_xvfb || exit 1
qv_start_wine "$WINEPREFIX" || exit 1
qv_start_keeper
plant || { fail "could not lay out $PLANT"; exit 1; }

STEP=usage
run usage 'C:\plant\VlmKdShell.com'
expect_output usage "VLMKDSHELL.COM"
expect_no_marker

# The copies' own versions are read through the version library; the modules that
# are not there fail.
STEP=version
run version 'C:\plant\VlmKdShell.com' -perform_version_self_test
expect_output version 'FAILED: Unable to get version number of module C:\plant\VlmResource.dll'
grep -qF 'C:\plant\VlmKdShell.' "$HERE/version.out" && fail "the copies' own versions were not read"
expect_no_marker

STEP=collect
run trace_on 'C:\plant\VlmKdShell.com' -eut
run collect 'C:\plant\VlmKdShell.com' -collect_user_mode_trace 'C:\plant-cwd\trace.cab'
run trace_off 'C:\plant\VlmKdShell.com' -dut
expect_output collect "gathered the user mode trace files"
[ -s "$HERE/trace.cab" ] || fail "no archive written"
expect_no_marker

STEP=message_box
run box "$QV_BIN/boxwatch.exe" 'C:\plant\VlmKdShell.exe'
expect_output box "[message box] VlmKdShell.exe"
expect_no_marker

STEP=elevated_start
echo doomed >"$HERE/doomed.txt"
run elevate 'C:\plant\force_delete_not_admin.exe' 'C:\plant-cwd\doomed.txt'
[ "$(cat "$HERE/elevate.rc")" = 0 ] || fail "the second start was not made: $(cat "$HERE/elevate.out")"
wait_gone "$HERE/doomed.txt" || fail "the elevated copy did not delete the file"
expect_no_marker

qv_suite_end planted_libraries
