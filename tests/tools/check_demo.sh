#!/usr/bin/env bash
# demo/run-demo.sh, run as a user of a desktop session runs it (HOME and
# the XDG folders set, no WINEPREFIX), answering every question with its
# default: it installs, and writes nothing outside its own folder; the
# menu entries that Wine's menu builder would write land inside it.
#   check_demo.sh SOURCE_DIR WORK
set -euo pipefail
top=$1 work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"/{home,data,config,cache,state}
# What the source tree holds, its build folders aside, before and after.
tree() { (cd "$top" && find . -path './build*' -prune -o -print | sort); }
tree > "$work/before"
printf '\n\nn\n\n' | env -u WINEPREFIX HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache" XDG_STATE_HOME="$work/state" "$top/demo/run-demo.sh" "$work/demo" \
    > "$work/console" 2>&1 || fail "the demo failed: $(tail -5 "$work/console")"
tree > "$work/after"
diff "$work/before" "$work/after" || fail "the demo wrote into the source tree"
for outside in home data config cache state; do
    [ -z "$(ls -A "$work/$outside")" ] || fail "the demo wrote into \$$outside: $(find "$work/$outside")"
done
[ -f "$work/demo/prefix/drive_c/games/yamawyrm/yamawyrm.exe" ] || fail "the game was not installed"
if [ -d "$work/demo/prefix/drive_c/users" ]; then
    ls "$work/demo/home/.local/share/applications/wine/Programs/"*.desktop >/dev/null ||
        fail "no menu entry in the demo's own folder"
    ls "$work/demo/home/.config/menus/applications-merged/"*.menu >/dev/null ||
        fail "no menu file in the demo's own folder"
fi
rm -rf "$work"
echo "the demo stays in its folder"
