# Shared by scripts/test, scripts/vlmkdshell and scripts/bench: packages, build,
# private Wine prefixes made from one booted template, the product package, Xvfb,
# a persistent wineserver and a desktop keeper.
# Source it; every function reports its own failure on stderr and returns non-zero.

# Found without a subprocess: the run command's every call sources this file.
pushd "${BASH_SOURCE[0]%/*}/../.." >/dev/null && QV_ROOT=$PWD && popd >/dev/null
QV_BUILD=${QV_BUILD:-$QV_ROOT/build}
QV_BIN=$QV_BUILD/bin
WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

QV_TEMPLATE=$QV_BUILD/wineprefix-template

QV_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 xvfb cabextract gcab googletest xauth
             wixl msitools libxml2-utils clang jq)

qv_fail() { echo "$(basename "$0"): $*" >&2; return 1; }

# Installs what a fresh Debian machine lacks (needs root the first time).
qv_ensure_packages() {
    local missing=() p
    mapfile -t missing < <(dpkg-query -W -f='${Package} ${Status}\n' "${QV_PACKAGES[@]}" 2>&1 |
        awk -v want="${QV_PACKAGES[*]}" '/install ok installed$/ { ok[$1] = 1 }
            END { n = split(want, w, " "); for (i = 1; i <= n; i++) if (!ok[w[i]]) print w[i] }')
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        qv_fail "missing packages: ${missing[*]} (run as root to install them, or: apt-get install ${missing[*]})"
        return 1
    fi
    echo "installing: ${missing[*]}" >&2
    apt-get update -qq >&2 || { qv_fail "apt-get update failed"; return 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2 \
        || { qv_fail "could not install: ${missing[*]}"; return 1; }
}

# qv_locked <lock file> <command...>: runs the command holding an exclusive lock.
# The lock's descriptor is kept from what the command starts: a server or Xvfb that
# outlives the command would otherwise hold the lock for its whole life.
qv_locked() {
    local lock=$1; shift
    ( flock 9 || exit 1; "$@" 9>&- ) 9>"$lock"
}

qv_configure() {
    [ -f "$QV_BUILD/build.ninja" ] && return 0
    mkdir -p "$QV_BUILD"
    cmake --preset mingw -S "$QV_ROOT" -B "$QV_BUILD" >"$QV_BUILD/configure.log" 2>&1 \
        || { cat "$QV_BUILD/configure.log" >&2; qv_fail "configuring the build failed"; return 1; }
}

# qv_build [target...]: builds the targets (everything when none is named).
qv_build() {
    qv_configure || return 1
    cmake --build "$QV_BUILD" ${1:+--target "$@"} >&2 || { qv_fail "the build failed"; return 1; }
}


# Boots the template prefix that every other prefix is copied from.
qv_boot_template() {
    [ -f "$QV_TEMPLATE/system.reg" ] && return 0
    rm -rf "$QV_TEMPLATE" && mkdir -p "$QV_TEMPLATE"
    # Every step is bounded: a stuck boot must fail the run, never hang it.
    WINEPREFIX=$QV_TEMPLATE timeout 300 "$WINE_LOADER" wineboot </dev/null >/dev/null 2>&1
    WINEPREFIX=$QV_TEMPLATE timeout 120 "$WINE_SERVER" -w </dev/null >/dev/null 2>&1 # registry saved at exit
    [ -f "$QV_TEMPLATE/system.reg" ] || { qv_fail "could not create the Wine prefix $QV_TEMPLATE"; return 1; }
}

# Copies the template into prefix. Wine only reads system32 (about 630 MB of its own
# libraries), so the copy hard-links it; registry and user folders are copied.
qv_copy_template() {
    local prefix=$1 tmp="$1.new.$$"
    rm -rf "$tmp" && mkdir -p "$tmp" || return 1
    (cd "$QV_TEMPLATE" && tar --exclude=./drive_c/windows/system32 -cf - .) | (cd "$tmp" && tar -xf -) \
        && cp -al "$QV_TEMPLATE/drive_c/windows/system32" "$tmp/drive_c/windows/" \
        && mv "$tmp" "$prefix" || { rm -rf "$tmp"; qv_fail "could not create the Wine prefix $prefix"; return 1; }
}

# qv_prepare_prefix <prefix>: makes the prefix when it is missing; cheap when it is there.
qv_prepare_prefix() {
    [ -f "$1/system.reg" ] && return 0
    mkdir -p "$QV_BUILD"
    qv_locked "$QV_BUILD/.wineprefix.lock" qv_prepare_prefix_locked "$1"
}

qv_prepare_prefix_locked() {
    [ -f "$1/system.reg" ] && return 0
    echo "${QV_SAY:-$(basename "$0")}: creating the Wine prefix $1" >&2
    qv_boot_template && rm -rf "$1" && qv_copy_template "$1"
}

# Uses the prefix and starts its server for the whole run (scripts/test, scripts/bench).
qv_start_wine() {
    export WINEPREFIX=$1
    qv_prepare_prefix "$WINEPREFIX" || return 1
    "$WINE_SERVER" -p </dev/null >/dev/null 2>&1 || { qv_fail "could not start the wineserver"; return 1; }
}

# qv_own_prefix <prefix>: a prefix for one suite alone, so that it runs beside the
# suites of the test prefix: made when missing, a server left by an earlier run
# ended, a server of its own started and this build's package installed. The
# caller ends the server with qv_stop_wine.
qv_own_prefix() {
    export WINEPREFIX=$1
    qv_prepare_prefix "$WINEPREFIX" || return 1
    qv_stop_wine && "$WINE_SERVER" -w </dev/null >/dev/null 2>&1
    "$WINE_SERVER" -p </dev/null >/dev/null 2>&1 || { qv_fail "could not start the wineserver"; return 1; }
    qv_install_package
}

# Uses the prefix and keeps its server alive for <seconds> after its last client, so
# that calls close together share it; a server already running is left as it is.
# A new server gets its desktop and services at once, with no descriptor of ours.
qv_serve_wine() {
    export WINEPREFIX=$1
    qv_prepare_prefix "$WINEPREFIX" || return 1
    qv_server_running && return 0
    qv_locked "$WINEPREFIX.serve.lock" qv_serve_wine_locked "$2"
}

# True when the prefix's server is up: its socket is there (the server removes it
# when it ends). The server's folder is named after the prefix's device and inode,
# under a temporary folder whose name Wine chooses.
qv_server_running() {
    local cache="$WINEPREFIX/.vlmkd-server-id" id socket
    read -r id 2>/dev/null <"$cache"
    if [ -z "${id:-}" ]; then
        id=$(stat -L -c '%d %i' "$WINEPREFIX") || return 1
        set -- $id
        printf -v id '%x-%x' "$1" "$2"
        echo "$id" >"$cache"
    fi
    for socket in "/tmp/.wine-$EUID/server-$id/socket" /tmp/wine-*/"server-$id/socket"; do
        [ -S "$socket" ] && return 0
    done
    return 1
}

qv_serve_wine_locked() {
    "$WINE_SERVER" -p"$1" </dev/null >/dev/null 2>&1 || return 0
    "$WINE_LOADER" "$QV_BIN/desktop_start.exe" </dev/null >/dev/null 2>&1
    return 0
}

qv_stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && "$WINE_SERVER" -k </dev/null >/dev/null 2>&1
    return 0
}

# qv_start_xvfb [Xvfb option...]: starts Xvfb on a free display, in a session of its
# own (a Ctrl-C meant for the caller does not reach it), and exports DISPLAY;
# QV_XVFB_PID names it.
qv_start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp "$@" </dev/null >/dev/null 2>&1 &
        QV_XVFB_PID=$!
        local i
        for i in $(seq 1 50); do
            [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=":$n"; return 0; }
            kill -0 "$QV_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$QV_XVFB_PID" 2>/dev/null
    done
    qv_fail "could not start Xvfb"
}

# One desktop window for the whole run; QV_KEEPER_PID names it.
qv_start_keeper() {
    "$WINE_LOADER" "$QV_BIN/desktop_keeper.exe" </dev/null >/dev/null 2>&1 &
    QV_KEEPER_PID=$!
    sleep 1
}

qv_stop_all() {
    [ -n "${QV_KEEPER_PID:-}" ] && kill "$QV_KEEPER_PID" 2>/dev/null
    qv_stop_wine
    [ -n "${QV_XVFB_PID:-}" ] && kill "$QV_XVFB_PID" 2>/dev/null
    QV_KEEPER_PID= QV_XVFB_PID=
    return 0
}

source "$QV_ROOT/scripts/lib/package.sh"
