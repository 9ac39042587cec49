#!/usr/bin/env bash
# tools/make-dist.sh, run as a distributor runs it: twice on the same game
# files and SOURCE_DATE_EPOCH it makes the same bytes, and another epoch
# makes another zip; the folder holds the stripped installer (whose time,
# where it is the Windows one, is SOURCE_DATE_EPOCH), an archive that
# lhasa finds intact, the licence and the players' texts, the zip holds
# that folder and nothing else, and its checksum verifies with the zip
# alone beside it. Then the rows of what it must refuse or keep: an OUT
# that is, holds or lies inside the game's files, a name the packer
# refuses, a file in OUT that it did not make; each leaves the game's
# files, the earlier distribution and the rest of OUT as they were.
#   check_dist.sh SOURCE_DIR SETUP_PROGRAM YMW_PACK WORK
set -euo pipefail
top=$1 setup=$2 packer=$3 work=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"
cp -r "$top/demo/files" "$work/game"
make_dist() {
    local epoch=$1
    shift
    SOURCE_DATE_EPOCH=$epoch "$top/tools/make-dist.sh" --setup "$setup" --packer "$packer" "$@" >/dev/null
}
make_dist 1700000000 "$work/game" "$work/first"
make_dist 1700000000 "$work/game" "$work/second"
make_dist 1600000000 "$work/game" "$work/third"
diff -r "$work/first" "$work/second" || fail "two runs made different bytes"
cmp -s "$work/first/"*.zip "$work/third/"*.zip && fail "another SOURCE_DATE_EPOCH made the same zip"

name=$(cd "$work/first" && ls -d yamawyrm-*/ | tr -d /)
program=$(basename "$setup")
[ "$(cd "$work/first" && ls -A | tr '\n' ' ')" = "$name $name.zip $name.zip.sha256 " ] ||
    fail "OUT holds $(ls -A "$work/first")"
[ "$(cd "$work/first/$name" && LC_ALL=C ls | tr '\n' ' ')" = "LICENSE.txt README-ja.txt README.txt $program ymw.lz_ " ] ||
    fail "the folder holds $(ls "$work/first/$name")"
# The checksum names the zip alone, and verifies where only the two were
# downloaded.
mkdir "$work/downloaded"
cp "$work/first/$name.zip" "$work/first/$name.zip.sha256" "$work/downloaded/"
(cd "$work/downloaded" && LC_ALL=C sha256sum --quiet -c "$name.zip.sha256") || fail "the checksum does not verify"
[ "$(wc -l < "$work/first/$name.zip.sha256")" -eq 1 ] || fail "the checksum file names more than the zip"
lhasa t "$work/first/$name/ymw.lz_" >/dev/null || fail "lhasa finds the archive damaged"
# The licence as it stands, and the players' texts naming the installer
# that the folder holds, each in CR LF lines; the Japanese one in code
# page 932.
cmp -s <(tr -d '\r' < "$work/first/$name/LICENSE.txt") "$top/LICENSE" || fail "LICENSE.txt is not the licence"
for text in LICENSE.txt README.txt README-ja.txt; do
    [ "$(tr -d '\r' < "$work/first/$name/$text" | wc -l)" -eq "$(grep -c $'\r$' "$work/first/$name/$text")" ] ||
        fail "$text has lines without CR LF"
done
iconv -f CP932 -t UTF-8 "$work/first/$name/README-ja.txt" | grep -q "セットアッププログラム（$program）" ||
    fail "README-ja.txt is not Japanese in code page 932, or does not name $program"
grep -q "C:\\\\games\\\\yamawyrm\\\\yamawyrm.bat" "$work/first/$name/README.txt" || fail "README.txt does not tell how to start the game"
if [ "$(head -c 2 "$setup")" = MZ ]; then
    grep -q "wine $program" "$work/first/$name/README.txt" || fail "README.txt does not say how Wine runs $program"
else
    grep -q "\./$program" "$work/first/$name/README.txt" || fail "README.txt does not say how to run $program"
fi
grep -q "\[e[xl][ef]\]\|@NAME@\|@SETUP@" "$work/first/$name/README.txt" && fail "README.txt holds its template's marks"
# Stripped: without a symbol table, and smaller than the program given
# where that had one (the Windows build is stripped when it is linked).
has_symbols() {
    LC_ALL=C objdump -t "$1" 2>/dev/null | grep -q "SYMBOL TABLE" && [ "$(LC_ALL=C objdump -t "$1" | grep -c .)" -gt 4 ]
}
has_symbols "$work/first/$name/$program" && fail "the installer still has symbols"
if has_symbols "$setup"; then
    [ "$(stat -c %s "$work/first/$name/$program")" -lt "$(stat -c %s "$setup")" ] || fail "the installer is not stripped"
fi
# A Windows installer's header holds SOURCE_DATE_EPOCH as its time, not
# the time it was linked or stripped, which would change its bytes.
if [ "$(head -c 2 "$setup")" = MZ ] &&
   [ "$(LC_ALL=C TZ=UTC objdump -p "$work/first/$name/$program" | grep "^Time/Date")" != "$(printf 'Time/Date\t\tTue Nov 14 22:13:20 2023')" ]; then
    fail "the installer's header holds another time than SOURCE_DATE_EPOCH"
fi
# The zip holds the folder, byte for byte.
python3 - "$work/first" "$name" <<'PY' || fail "the zip does not hold the folder"
import os, sys, zipfile
out, name = sys.argv[1:]
with zipfile.ZipFile(os.path.join(out, name + '.zip')) as z:
    assert z.testzip() is None
    names = sorted(z.namelist())
    files = sorted(name + '/' + f for f in os.listdir(os.path.join(out, name)))
    assert names == [name + '/'] + files, names
    for f in files:
        with open(os.path.join(out, f), 'rb') as data:
            assert z.read(f) == data.read(), f
PY

# What OUT held besides, an earlier release of another name included,
# stays; a release of another name goes beside them; a second run
# replaces its own outputs.
echo "notes" > "$work/first/notes.txt"
cp "$work/third/$name.zip" "$work/first/game-0.9.zip"
make_dist 1700000000 --name game-1.0 "$work/game" "$work/first"
[ -f "$work/first/game-1.0/ymw.lz_" ] && [ -f "$work/first/game-1.0.zip.sha256" ] || fail "--name made no release of its name"
(cd "$work/first" && LC_ALL=C sha256sum --quiet -c game-1.0.zip.sha256) || fail "the named release does not verify"
make_dist 1700000000 "$work/game" "$work/first"
diff -r "$work/first/$name" "$work/second/$name" || fail "a second run did not make the same folder"
[ "$(cat "$work/first/notes.txt")" = notes ] && cmp -s "$work/third/$name.zip" "$work/first/game-0.9.zip" ||
    fail "a run changed what it did not make"
cp -r "$work/first" "$work/kept"

# The refusals. Each row: what, the arguments after the options, the exit
# code and the line; each leaves the game's files, the earlier
# distribution and the rest of OUT as they were, and nothing of its own.
tree() { (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum && find . | LC_ALL=C sort); }
tree "$work/game" > "$work/game-before"
cp -r "$work/game" "$work/refused-game"
touch "$work/refused-game/bad name."
ln -s game "$work/linked-game"
rows=(
    "OUT equal to GAME_FILES|$work/game $work/game|2|OUT is the folder of game files"
    "OUT inside GAME_FILES|$work/game $work/game/dist|2|OUT lies inside the folder of game files"
    "OUT holding GAME_FILES|$work/game $work|2|OUT holds the folder of game files"
    "OUT equal to GAME_FILES through a link|$work/game $work/linked-game|2|OUT is the folder of game files"
    "a name the packer refuses|$work/refused-game $work/first|1|name ending in a dot or a blank"
    "a name that is no one name|--name ../x $work/game $work/first|2|--name takes letters"
    "a file the script did not make in its folder|$work/game $work/first|2|is not what make-dist.sh made"
    "a zip the script did not make|--name notes $work/game $work/first|2|is not what make-dist.sh made"
)
for row in "${rows[@]}"; do
    IFS='|' read -r what arguments code line <<< "$row"
    [ "$what" = "a file the script did not make in its folder" ] && echo "notes" > "$work/first/$name/notes.txt"
    [ "$what" = "a zip the script did not make" ] && echo "not a zip" > "$work/first/notes.zip"
    status=0
    # shellcheck disable=SC2086
    SOURCE_DATE_EPOCH=1700000000 "$top/tools/make-dist.sh" --setup "$setup" --packer "$packer" $arguments \
        >"$work/out" 2>"$work/err" || status=$?
    [ "$status" -eq "$code" ] || fail "$what: exit code $status, not $code: $(cat "$work/err")"
    grep -qF -- "$line" "$work/err" || fail "$what: no line \"$line\" in: $(cat "$work/err")"
    rm -f "$work/first/$name/notes.txt" "$work/first/notes.zip"
    tree "$work/game" | cmp -s - "$work/game-before" || fail "$what: the game's files changed"
    diff -r "$work/kept" "$work/first" >/dev/null || fail "$what: the earlier distribution changed: $(diff -r "$work/kept" "$work/first")"
    [ ! -e "$work/game/dist" ] || fail "$what: made OUT inside the game's files"
done
rm -rf "$work"
echo "the distribution is reproducible, complete, and made without touching anything else"
