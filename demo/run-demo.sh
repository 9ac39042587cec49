#!/usr/bin/env bash
# Builds the installer and the packer, packs the demo distribution from
# the files in demo/files/ into build-demo/dist/ymw.lz_, and runs the
# installer there.
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
cmake --build build-demo -j"$(nproc)" --target yamawyrm-setup ymw-pack >/dev/null

# The distribution: only the archive, as a game would ship it.
rm -rf build-demo/dist && mkdir -p build-demo/dist
build-demo/ymw-pack build-demo/dist/ymw.lz_ demo/files

if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="$top/build-demo/prefix"
    windows="$WINEPREFIX/drive_c/windows"
    mkdir -p "$windows/ｽﾀｰﾄ ﾒﾆｭｰ/ﾌﾟﾛｸﾞﾗﾑ" "$windows/ﾃﾞｽｸﾄｯﾌﾟ"
    echo "(demo prefix: $WINEPREFIX)"
fi
cd "$top/build-demo/dist"
exec "$top/build-demo/yamawyrm-setup"
