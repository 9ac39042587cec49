#!/usr/bin/env bash
# Builds the installer and the packer, makes the demo distribution from the
# files in demo/files/ with tools/make-dist.sh (build-demo/dist/: a folder
# of the installer, ymw.lz_ and the players' texts, its zip and the zip's
# checksum), and runs the installer in that folder, as a player runs it.
#   demo/run-demo.sh [FOLDER]     FOLDER: the demo's own folder, build-demo
#
# The distribution holds the Linux build of the installer: the Windows one
# needs the cross compiler (some hundred megabytes) and a build of minutes,
# too much for a demo; tools/make-dist.sh without --setup makes it.
#
# The game goes into $WINEPREFIX when it is set. Otherwise it goes into a
# throwaway prefix in the demo's folder, with a home folder of its own
# there (FOLDER/home) and the XDG folders below it, so that nothing lands
# in yours, your application menu included: booted by Wine when Wine is
# installed, as a player's prefix is, else left empty.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
mkdir -p "${1:-build-demo}"
demo="$(cd "${1:-build-demo}" && pwd)"

tools/install-deps.sh build
# A build folder of its own: the demo needs no test framework, and the
# tests' build keeps its options.
cmake -S . -B "$demo/build" -DYAMAWYRM_TESTS=OFF -DYAMAWYRM_BENCH=OFF >/dev/null
cmake --build "$demo/build" -j"$(nproc)" --target yamawyrm-setup ymw-pack >/dev/null
tools/make-dist.sh --setup "$demo/build/yamawyrm-setup" --packer "$demo/build/ymw-pack" demo/files "$demo/dist" >/dev/null
folder=$(echo "$demo"/dist/yamawyrm-*/)

if [ -z "${WINEPREFIX:-}" ]; then
    # Everything that the installer and Wine read to find the user's
    # folders points into the demo: HOME, the XDG folders of the menu
    # entries, and those where Wine keeps its cache and finds the desktop
    # ($XDG_CONFIG_HOME/user-dirs.dirs).
    export WINEPREFIX="$demo/prefix" HOME="$demo/home"
    export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
    export XDG_STATE_HOME="$HOME/.local/state"
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
        # Without Mono and Gecko, whose installers would ask to download.
        WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1 || true
        "$(dirname "$(command -v "$wine")")/wineserver" -w 2>/dev/null || true
    fi
    echo "(demo prefix: $WINEPREFIX, home folder: $HOME)"
fi
cd "$folder"
exec ./yamawyrm-setup
