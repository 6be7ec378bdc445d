#!/usr/bin/env bash
# The product package as the system installer sees it, in a Wine prefix of its own:
# its identity, an install that puts every module and driver in place with its
# version and registrations, an uninstall through cmd.exe that leaves nothing of the
# product behind, a second install, and a broken package reported, not ignored.
#
#   package.sh <build folder> <product version>
set -uo pipefail

export QV_BUILD=$(cd "$1" && pwd)
VERSION=$2
source "$(dirname "$0")/../../scripts/lib/wine_env.sh"
source "$(dirname "$0")/suite_lib.sh"
export WINEPREFIX=$QV_BUILD/wineprefix-package
MSI=$QV_PACKAGE_MSI
INSTALLED="$WINEPREFIX/$QV_INSTALL_SUBDIR"

wine_quiet() { "$WINE_LOADER" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
cleanup() { "$WINE_SERVER" -k </dev/null >/dev/null 2>&1; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT

IFS=. read -r major minor patch build <<<"$VERSION"
PRODUCT_VERSION="$major, $minor, $patch, $build"
# What the version self-test expects: the modules beside the program carry the
# product version, the drivers their own.
MODULES=(VlmResource.dll VlmKdAutomation.dll VlmKdCore.exe VlmKdCoreService.exe
         VlmKdDesktopIntegration.dll VlmKdDriverCom.dll VlmKdLocalProvider.dll VlmKdTqProvider.dll
         VlmKdPolicyEnforcer.dll VlmKdPostInstall.dll VlmKdProviderManager.dll VlmKdProxy.exe
         VlmKdSelfExtractorStub.exe VlmKdShell.com VlmKdShell.exe VlmKdTray.dll VlmKdTrayPlugin.dll
         VlmKdConsole.exe VlmAuthProvider.dll VlmKdProviderManagerProxy.dll VlmKdProviderProxy.dll
         VlmKdProxy32.exe VlmCvRM.exe)
declare -A DRIVERS=([VlmCvKD.sys]="1, 0, 0, 48" [VlmCvKDCd.sys]="1, 0, 0, 18" [VlmCvKDV.sys]="1, 0, 0, 17"
                    [VlmCvRM.sys]="1, 0, 0, 22" [VlmCvKDL.sys]="1, 0, 0, 18" [VlmFastFatPlus.sys]="1, 0, 0, 15")

expect_identity() {
    local props
    props=$(msiinfo export "$MSI" Property | tr -d '\r') || { fail "msiinfo cannot read $MSI"; return; }
    grep -qx $'ProductCode\t{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}' <<<"$props" || fail "product code: $props"
    grep -qx $'ProductVersion\t'"$VERSION" <<<"$props" || fail "product version is not $VERSION: $props"
    grep -qx $'ALLUSERS\t1' <<<"$props" || fail "the package is not per-machine"
    msiinfo tables "$MSI" | tr -d '\r' | grep -qx Registry || fail "the package registers nothing"
}

# expect_versions: every module and driver is installed with the version it must carry.
expect_versions() {
    local expected=() args=() name
    for name in "${MODULES[@]}"; do
        args+=("$QV_INSTALL_WINDIR\\$name"); expected+=("$QV_INSTALL_WINDIR\\$name|$PRODUCT_VERSION")
    done
    for name in "${!DRIVERS[@]}"; do
        args+=("C:\\windows\\system32\\Drivers\\$name"); expected+=("C:\\windows\\system32\\Drivers\\$name|${DRIVERS[$name]}")
    done
    local got; got=$(wine_quiet "$QV_BIN/file_version.exe" "${args[@]}")
    [ "$got" = "$(printf '%s\n' "${expected[@]}")" ] || fail "installed versions:"$'\n'"$got"
    [ "$(ls "$INSTALLED" | wc -l)" -eq ${#MODULES[@]} ] || fail "install folder holds: $(ls "$INSTALLED")"
}

# expect_registry <present|absent>: every value the package's Registry table names.
expect_registry() {
    local root key name value hive which
    # Fields are split at a unit separator: a tab is white space to read, so an empty
    # name (a key's default value) would vanish and shift the fields after it.
    while IFS=$'\037' read -r _ root key name value _; do
        case $root in 0) hive=HKCR ;; 1) hive=HKCU ;; *) hive=HKLM ;; esac
        if [ -n "$name" ]; then which=(/v "$name"); else which=(/ve); fi
        if wine_quiet reg query "$hive\\$key" "${which[@]}" >/dev/null; then
            [ "$1" = present ] || fail "left behind: $hive\\$key $name"
        else
            [ "$1" = absent ] || fail "not registered: $hive\\$key $name"
        fi
    done < <(msiinfo export "$MSI" Registry | tr -d '\r' | tr '\t' '\037' | tail -n +4)
}

uninstall_through_cmd() {
    wine_quiet 'C:\windows\system32\cmd.exe' /C "MsiExec.exe /norestart /x$QV_PRODUCT_CODE" >/dev/null
    local i
    for ((i = 0; i < 60; i++)); do
        [ -e "$WINEPREFIX/drive_c/Program Files/Velmora" ] || return 0
        sleep 0.5
    done
}

expect_nothing_left() {
    [ -e "$WINEPREFIX/drive_c/Program Files/Velmora" ] && fail "left behind: $(find "$WINEPREFIX/drive_c/Program Files/Velmora")"
    local name
    for name in "${!DRIVERS[@]}"; do
        ls "$WINEPREFIX/drive_c/windows/system32/drivers" | grep -qix "$name" && fail "driver left behind: $name"
    done
    expect_registry absent
}

# A package that is not one: the failure names msiexec's code and its log, and the
# prefix stays usable for the good package.
expect_broken_package_reported() {
    local broken=$QV_BUILD/package/broken/VlmKd.msi err
    mkdir -p "${broken%/*}" && head -c 4096 "$MSI" >"$broken"
    err=$(QV_PACKAGE_MSI=$broken qv_install_package 2>&1) && fail "a broken package was reported installed"
    grep -q "msiexec exit code 1627; log: $WINEPREFIX/vlmkd-install.log" <<<"$err" || fail "broken package: $err"
    [ -f "$(qv_package_stamp)" ] && fail "a failed install left its stamp"
}

qv_prepare_prefix "$WINEPREFIX" || exit 1
"$WINE_SERVER" -p </dev/null >/dev/null 2>&1
expect_identity
expect_broken_package_reported
qv_install_package 2>/dev/null || fail "the package does not install"
expect_versions
expect_registry present
uninstall_through_cmd
expect_nothing_left
rm -f "$(qv_package_stamp)"
qv_install_package 2>/dev/null || fail "the package does not install a second time"
expect_versions

qv_suite_end package
