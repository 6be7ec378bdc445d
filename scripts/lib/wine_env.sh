# Shared by scripts/test, scripts/vlmkdshell and scripts/bench: packages, build,
# a private Wine prefix, Xvfb, a persistent wineserver and a desktop keeper.
# Source it; every function reports its own failure on stderr and returns non-zero.

QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
QV_BUILD=${QV_BUILD:-$QV_ROOT/build}
QV_BIN=$QV_BUILD/bin
WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

QV_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 xvfb cabextract gcab googletest xauth)

qv_fail() { echo "$(basename "$0"): $*" >&2; return 1; }

# Installs what a fresh Debian machine lacks (needs root the first time).
qv_ensure_packages() {
    local missing=() p
    for p in "${QV_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
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

qv_build() {
    if [ ! -f "$QV_BUILD/build.ninja" ]; then
        cmake --preset mingw -S "$QV_ROOT" -B "$QV_BUILD" >"$QV_BUILD.configure.log" 2>&1 \
            || { cat "$QV_BUILD.configure.log" >&2; qv_fail "configuring the build failed"; return 1; }
    fi
    cmake --build "$QV_BUILD" >&2 || { qv_fail "the build failed"; return 1; }
}

qv_wine() { "$WINE_LOADER" "$@"; }

# Creates the prefix on first use and starts its persistent server.
qv_start_wine() {
    export WINEPREFIX=$1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        timeout 300 "$WINE_LOADER" wineboot </dev/null >/dev/null 2>&1
        timeout 120 "$WINE_SERVER" -w </dev/null >/dev/null 2>&1   # the registry is saved when the server ends
        [ -f "$WINEPREFIX/system.reg" ] || { qv_fail "could not create the Wine prefix $WINEPREFIX"; return 1; }
    fi
    # Every step is bounded: a stuck boot must fail the run, never hang it.
    timeout 300 "$WINE_LOADER" wineboot </dev/null >/dev/null 2>&1
    timeout 120 "$WINE_SERVER" -w </dev/null >/dev/null 2>&1 || "$WINE_SERVER" -k </dev/null >/dev/null 2>&1
    "$WINE_SERVER" -p </dev/null >/dev/null 2>&1 || { qv_fail "could not start the wineserver"; return 1; }
}

qv_stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && "$WINE_SERVER" -k </dev/null >/dev/null 2>&1
    return 0
}

# Starts Xvfb on a free display and exports DISPLAY; QV_XVFB_PID names it.
qv_start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
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

# Lays out the simulated installation in the current prefix: the stand-ins for the
# product parts outside this program, registered as an installer would.
qv_install_sim() {
    local installer="$QV_ROOT/scripts/lib/install_sim.sh"
    [ -f "$installer" ] || return 0
    source "$installer"
}
