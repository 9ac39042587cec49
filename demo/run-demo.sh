#!/usr/bin/env bash
# Builds the installer and runs it on the demo distribution in this folder.
# The game goes into $WINEPREFIX when it is set, else into a throwaway
# prefix under build-demo/, with the Start menu and desktop folders of a
# Japanese Windows already there so that both shortcuts are saved.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"

tools/install-deps.sh build
# A build folder of its own: the demo needs no test framework, and the
# tests' build keeps its options.
cmake -S . -B build-demo -DYAMAWYRM_TESTS=OFF -DYAMAWYRM_BENCH=OFF >/dev/null
cmake --build build-demo -j"$(nproc)" --target yamawyrm-setup >/dev/null

if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="$top/build-demo/prefix"
    windows="$WINEPREFIX/drive_c/windows"
    mkdir -p "$windows/ｽﾀｰﾄ ﾒﾆｭｰ/ﾌﾟﾛｸﾞﾗﾑ" "$windows/ﾃﾞｽｸﾄｯﾌﾟ"
    echo "(demo prefix: $WINEPREFIX)"
fi
cd "$top/demo"
exec "$top/build-demo/yamawyrm-setup"
