#!/usr/bin/env bash
# Builds the installer and the packer, packs the demo distribution from
# the files in demo/files/ into build-demo/dist/ymw.lz_, and runs the
# installer there.
# The game goes into $WINEPREFIX when it is set. Otherwise it goes into a
# throwaway prefix under build-demo/, with a home folder of its own there
# (build-demo/home), so that nothing lands in yours: booted by Wine when
# Wine is installed, as a player's prefix is, else left empty.
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
    export WINEPREFIX="$top/build-demo/prefix" HOME="$top/build-demo/home"
    mkdir -p "$HOME/Desktop"
    # Wine's loader: wine, or wine64 where 32-bit programs cannot run.
    wine=""
    for candidate in wine /usr/lib/wine/wine64 wine64; do
        if command -v "$candidate" >/dev/null && "$candidate" --version >/dev/null 2>&1; then
            wine=$candidate
            break
        fi
    done
    if [ ! -d "$WINEPREFIX/drive_c/users" ] && [ -n "$wine" ]; then
        echo "(booting the demo prefix with Wine...)"
        WINEDEBUG=-all "$wine" wineboot -i >/dev/null 2>&1 || true
        "$(dirname "$(command -v "$wine")")/wineserver" -w 2>/dev/null || true
    fi
    echo "(demo prefix: $WINEPREFIX, home folder: $HOME)"
fi
cd "$top/build-demo/dist"
exec "$top/build-demo/yamawyrm-setup"
