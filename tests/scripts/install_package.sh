#!/usr/bin/env bash
# Installs this build's product package into the test prefix, unless it is there
# already; the end-to-end suites run the installed program.
#
#   install_package.sh <build folder>     (WINEPREFIX as set up by scripts/test)
set -uo pipefail

export QV_BUILD=$(cd "$1" && pwd)
source "$(dirname "$0")/../../scripts/lib/wine_env.sh"
export WINEPREFIX=${WINEPREFIX:-$QV_BUILD/wineprefix-test}
qv_install_package
