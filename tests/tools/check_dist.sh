#!/usr/bin/env bash
# tools/make-dist.sh, run as a distributor runs it: twice on the same game
# files and SOURCE_DATE_EPOCH it makes the same bytes, and another epoch
# makes another zip; the folder holds the stripped installer (whose time,
# where it is the Windows one, is SOURCE_DATE_EPOCH) and an
# archive that lhasa finds intact, the zip holds that folder and nothing
# else, and sha256sum -c agrees with SHA256SUMS.
#   check_dist.sh SOURCE_DIR SETUP_PROGRAM YMW_PACK WORK
set -euo pipefail
top=$1 setup=$2 packer=$3 work=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"
cp -r "$top/demo/files" "$work/game"
make_dist() {
    SOURCE_DATE_EPOCH=$1 "$top/tools/make-dist.sh" --setup "$setup" --packer "$packer" "$work/game" "$work/$2" >/dev/null
}
make_dist 1700000000 first
make_dist 1700000000 second
make_dist 1600000000 third
diff -r "$work/first" "$work/second" || fail "two runs made different bytes"
cmp -s "$work/first/"*.zip "$work/third/"*.zip && fail "another SOURCE_DATE_EPOCH made the same zip"

name=$(cd "$work/first" && ls -d yamawyrm-*/ | tr -d /)
program=$(basename "$setup")
[ "$(cd "$work/first/$name" && ls | tr '\n' ' ')" = "$program ymw.lz_ " ] || fail "the folder holds $(ls "$work/first/$name")"
(cd "$work/first" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(wc -l < "$work/first/SHA256SUMS")" -eq 3 ] || fail "SHA256SUMS does not name the three files"
lhasa t "$work/first/$name/ymw.lz_" >/dev/null || fail "lhasa finds the archive damaged"
# Stripped: without a symbol table, and smaller than the program given
# where that had one (the Windows build is stripped when it is linked).
has_symbols() {
    objdump -t "$1" 2>/dev/null | grep -q "SYMBOL TABLE" && [ "$(objdump -t "$1" | grep -c .)" -gt 4 ]
}
has_symbols "$work/first/$name/$program" && fail "the installer still has symbols"
if has_symbols "$setup"; then
    [ "$(stat -c %s "$work/first/$name/$program")" -lt "$(stat -c %s "$setup")" ] || fail "the installer is not stripped"
fi
# A Windows installer's header holds SOURCE_DATE_EPOCH as its time, not
# the time it was linked or stripped, which would change its bytes.
if [ "$(head -c 2 "$setup")" = MZ ] &&
   [ "$(TZ=UTC objdump -p "$work/first/$name/$program" | grep "^Time/Date")" != "$(printf 'Time/Date\t\tTue Nov 14 22:13:20 2023')" ]; then
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
rm -rf "$work"
echo "the distribution is reproducible"
