# Sourced by qv_install_sim: installs this build's product package (build/bin/VlmKd.msi)
# in the current prefix, removing first what an earlier build installed, so the
# prefix always holds the modules and stand-ins of this build.
qv_product_code='{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}'
"$WINE_LOADER" msiexec /x "$qv_product_code" /qn </dev/null >/dev/null 2>&1
"$WINE_LOADER" msiexec /i "Z:${QV_BIN//\//\\}\\VlmKd.msi" /qn </dev/null >/dev/null 2>&1 \
    || { qv_fail "could not install the product package $QV_BIN/VlmKd.msi"; return 1; }
