#!/usr/bin/env bash
# The reboot request key lives only until the registry is next loaded from disk: after
# a restart of the Wine server (the stand-in for a restart of the machine) it is gone,
# while the policy values written in the same run stay.
# Runs in a Wine prefix of its own: restarting the server of the shared test prefix
# would disturb every other test.
# Usage: reboot_key_volatile.sh <folder of the built programs> <prefix folder>
set -uo pipefail

bin=$1
export WINEPREFIX=$2
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE=/usr/lib/wine/wine64
SERVER=/usr/lib/wine/wineserver
KD='HKLM\SYSTEM\CurrentControlSet\services\VlmCvKD'
out=$(mktemp)
trap '"$SERVER" -k </dev/null >/dev/null 2>&1; rm -f "$out"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Every descriptor redirected: Wine's service processes inherit them and would keep
# the test runner's pipes open.
wine_run() { "$WINE" "$@" </dev/null >"$out" 2>/dev/null; }
reg_query() { wine_run 'C:\windows\system32\reg.exe' query "$@"; }

start_server() {
    "$SERVER" -p </dev/null >/dev/null 2>&1 || fail "could not start the wineserver"
}

# Ends the server the way a shutdown does: the registry is written to disk and
# volatile keys are not.
stop_server() {
    "$SERVER" -k </dev/null >/dev/null 2>&1
    "$SERVER" -w </dev/null >/dev/null 2>&1
}

QV_BUILD=$(cd "$bin/.." && pwd)
source "$(dirname "$0")/../../scripts/lib/wine_env.sh"
qv_prepare_prefix "$WINEPREFIX" 2>/dev/null || fail "could not create the prefix $WINEPREFIX"

start_server
qv_install_package 2>/dev/null || fail "could not install the product package"
wine_run 'C:\windows\system32\reg.exe' delete "$KD" /f
wine_run "$QV_INSTALL_WINDIR\\VlmKdShell.com" -update_registry 'R+#DAU:1#DBE:1'
reg_query "$KD\\RebootRequest" || fail "no reboot request key after the update"
reg_query "$KD" /v DisableAutoUnlock || fail "DisableAutoUnlock was not written"
stop_server

start_server
reg_query "$KD\\RebootRequest" && fail "the reboot request key outlived the restart"
reg_query "$KD" /v DisableAutoUnlock || fail "DisableAutoUnlock did not outlive the restart"
grep -q 'DisableAutoUnlock    REG_DWORD    0x1' "$out" || fail "DisableAutoUnlock changed: $(cat "$out")"
reg_query "$KD" /v zrn_cache || fail "the cached policy text did not outlive the restart"
grep -q 'R+#DAU:1#DBE:1' "$out" || fail "the cached policy text changed: $(cat "$out")"
echo "reboot request key gone after the restart; policy values kept"
