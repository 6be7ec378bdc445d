# The product package in a Wine prefix: sourced by wine_env.sh. Installs this
# build's VlmKd.msi into $WINEPREFIX once, and again whenever the build made a
# different package or the product is gone (-force_uninstall removes it).
# Callers may run at once: the install step is serialised with flock.

QV_PACKAGE_MSI=$QV_BIN/VlmKd.msi
QV_PRODUCT_CODE='{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}'
QV_INSTALL_WINDIR='C:\Program Files\Velmora\Orrisguard'
QV_INSTALL_SUBDIR='drive_c/Program Files/Velmora/Orrisguard'

# The Windows name of a host path, through the Z: drive every prefix has.
qv_windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

qv_package_stamp() { echo "$WINEPREFIX/.vlmkd-package"; }

# True when this build's package is installed in the prefix and the program is there.
qv_package_current() {
    local stamp; stamp=$(qv_package_stamp)
    [ -f "$WINEPREFIX/$QV_INSTALL_SUBDIR/VlmKdShell.com" ] && [ -f "$stamp" ] || return 1
    [ "$stamp" -nt "$QV_PACKAGE_MSI" ] && return 0
    [ "$(cat "$stamp")" = "$(sha256sum <"$QV_PACKAGE_MSI" | cut -c1-64)" ] && touch "$stamp"
}

# qv_msiexec <log> <args...>: runs the system installer quietly; prints its exit code.
qv_msiexec() {
    local log=$1 code; shift
    code=$("$WINE_LOADER" "$QV_BIN/exit_code.exe" msiexec "$@" /qn /l*v "$(qv_windows_path "$log")" \
           </dev/null 2>/dev/null | tr -d '\r')
    echo "${code:-unknown}"
}

qv_install_package_locked() {
    qv_package_current && return 0
    local stamp log rc
    stamp=$(qv_package_stamp)
    log="$WINEPREFIX/vlmkd-install.log"
    if [ -f "$stamp" ] || [ -d "$WINEPREFIX/$QV_INSTALL_SUBDIR" ]; then
        echo "${QV_SAY:-$(basename "$0")}: installing the product package again (${QV_PACKAGE_MSI##*/} changed or the product was removed)" >&2
    else
        echo "${QV_SAY:-$(basename "$0")}: installing the product package ${QV_PACKAGE_MSI##*/} into $WINEPREFIX" >&2
    fi
    # Whatever is installed goes first (1605 when nothing is): the system installer
    # refuses a second package under the same product code.
    rm -f "$stamp"
    qv_msiexec "$WINEPREFIX/vlmkd-uninstall.log" /x "$QV_PRODUCT_CODE" >/dev/null
    rc=$(qv_msiexec "$log" /i "$(qv_windows_path "$QV_PACKAGE_MSI")")
    if [ "$rc" != 0 ] && [ "$rc" != 3010 ]; then
        qv_fail "installing ${QV_PACKAGE_MSI##*/} failed: msiexec exit code $rc; log: $log"
        return 1
    fi
    sha256sum <"$QV_PACKAGE_MSI" | cut -c1-64 >"$stamp"
}

# Installs the package into $WINEPREFIX unless this build's is already there.
qv_install_package() {
    [ -f "$QV_PACKAGE_MSI" ] || { qv_fail "no package at $QV_PACKAGE_MSI (build the vlmkd_package target)"; return 1; }
    qv_package_current && return 0
    qv_locked "$WINEPREFIX.install.lock" qv_install_package_locked
}
