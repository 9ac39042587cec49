#!/usr/bin/env bash
# Makes the game's distribution from a folder of its files, in one command:
#   OUT/NAME/yamawyrm-setup.exe  the installer, stripped
#   OUT/NAME/ymw.lz_             the game's files, packed and tested
#   OUT/NAME/README.txt, README-ja.txt  what a player runs where, and what
#                                the installer writes (tools/dist/)
#   OUT/NAME/LICENSE.txt         the installer's licence
#   OUT/NAME.zip                 that folder, zipped
#   OUT/NAME.zip.sha256          the zip's checksum, for sha256sum -c
# NAME is yamawyrm-VERSION unless --name gives another (a game's release
# packed with this installer, say). The bytes depend on nothing but the
# game files (their names, bytes and times, each time capped by
# SOURCE_DATE_EPOCH), the two programs, NAME and SOURCE_DATE_EPOCH, which
# is the time of the last commit when it is not set: run twice, it makes
# the same bytes.
#
#   tools/make-dist.sh [--setup PROGRAM] [--packer YMW_PACK] [--name NAME] GAME_FILES [OUT]
#
# Without --setup the Windows installer is built (tools/build-windows.sh,
# which installs the cross compiler); with it, PROGRAM goes into the
# folder instead (the Linux build, say). Without --packer, build/ymw-pack
# is built. OUT is build-dist by default.
#
# Nothing in OUT is touched but the three outputs of NAME, and those only
# where they are what an earlier run made. Everything is made in a
# folder of its own inside OUT and moved into place once it is complete
# and tested: a run that fails leaves OUT as it was. An OUT that is
# GAME_FILES, holds it or lies inside it is refused.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
me=$(basename "$0")

usage() {
    echo "usage: $0 [--setup PROGRAM] [--packer YMW_PACK] [--name NAME] GAME_FILES [OUT]" >&2
    exit 2
}
refuse() {
    echo "$me: $*" >&2
    exit 2
}
setup="" packer="" name=""
while [ $# -gt 0 ]; do
    case "$1" in
        --setup) [ $# -ge 2 ] || usage; setup=$2; shift 2 ;;
        --packer) [ $# -ge 2 ] || usage; packer=$2; shift 2 ;;
        --name) [ $# -ge 2 ] || usage; name=$2; shift 2 ;;
        --) shift; break ;;
        -*) usage ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] && [ $# -le 2 ] || usage
files=$1
out=${2:-build-dist}
[ -d "$files" ] || refuse "not a folder of game files: $files"
# A name that stays one name in OUT and in the zip, on every system.
if [ -n "$name" ] && ! [[ "$name" =~ ^[A-Za-z0-9][A-Za-z0-9._+-]*$ ]]; then
    refuse "--name takes letters, digits and . _ + - (not first): $name"
fi

# OUT apart from the game's files, whatever links lead there.
files_real=$(realpath -e -- "$files")
out_real=$(realpath -m -- "$out")
case "$out_real/" in
    "$files_real/") refuse "OUT is the folder of game files: $out" ;;
    "$files_real/"*) refuse "OUT lies inside the folder of game files: $out is in $files" ;;
esac
case "$files_real/" in
    "$out_real/"*) refuse "OUT holds the folder of game files: $files is in $out" ;;
esac
[ ! -e "$out" ] || [ -d "$out" ] || refuse "OUT is not a folder: $out"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null) ||
        refuse "set SOURCE_DATE_EPOCH (not a git checkout)"
fi
export SOURCE_DATE_EPOCH

if [ -z "$packer" ]; then
    "$top/tools/install-deps.sh" build
    cmake -S "$top" -B "$top/build" >/dev/null
    cmake --build "$top/build" -j"$(nproc)" --target ymw-pack >/dev/null
    packer=$top/build/ymw-pack
fi
if [ -z "$setup" ]; then
    "$top/tools/build-windows.sh" >/dev/null
    setup=$top/build-windows/yamawyrm-setup.exe
fi
"$top/tools/install-deps.sh" dist
if [ "$(head -c 2 "$setup")" = MZ ] && ! command -v i686-w64-mingw32-strip >/dev/null; then
    "$top/tools/install-deps.sh" windows-i686
fi

version=$("$packer" --version)
name=${name:-yamawyrm-${version#ymw-pack }}
program=$(basename "$setup")

# The outputs of NAME that OUT holds already must be what an earlier run
# made, or they stay, and so does everything else: a folder of regular
# files of the names this script writes, a zip of that folder alone, and
# its checksum line.
ours() {
    local folder=$out/$name
    if [ -e "$folder" ] || [ -L "$folder" ]; then
        [ -d "$folder" ] && [ ! -L "$folder" ] || return 1
        local entry
        for entry in "$folder"/* "$folder"/.[!.]* "$folder"/..?*; do
            [ -e "$entry" ] || [ -L "$entry" ] || continue
            [ -f "$entry" ] && [ ! -L "$entry" ] || return 1
            case "$(basename "$entry")" in
                ymw.lz_ | README.txt | README-ja.txt | LICENSE.txt | yamawyrm-setup.exe | yamawyrm-setup | "$program") ;;
                *) return 1 ;;
            esac
        done
    fi
    local zip=$out/$name.zip sums=$out/$name.zip.sha256
    if [ -e "$zip" ] || [ -L "$zip" ]; then
        [ -f "$zip" ] && [ ! -L "$zip" ] && python3 - "$zip" "$name" <<'EOF' || return 1
import sys, zipfile
zip_path, name = sys.argv[1:]
try:
    with zipfile.ZipFile(zip_path) as z:
        assert all(n == name + '/' or (n.startswith(name + '/') and '/' not in n[len(name) + 1:]) for n in z.namelist())
except (zipfile.BadZipFile, AssertionError, OSError):
    sys.exit(1)
EOF
    fi
    if [ -e "$sums" ] || [ -L "$sums" ]; then
        [ -f "$sums" ] && [ ! -L "$sums" ] && [ "$(wc -l < "$sums")" -eq 1 ] &&
            grep -Eq "^[0-9a-f]{64}  $name\\.zip\$" "$sums" || return 1
    fi
}
ours || refuse "$out/$name, $name.zip or $name.zip.sha256 is not what $me made: move it away, or give another --name"

# Everything is made in a folder of its own inside OUT, beside the places
# it goes to; it goes, with what it replaced, at the end. OUT itself, when
# this run made it, goes too if the run fails.
made_out=false
if [ ! -d "$out" ]; then
    mkdir -p "$out"
    made_out=true
fi
stage=$(mktemp -d "$out/.make-dist.XXXXXX")
finished=false
clean_up() {
    # An earlier folder moved aside and not yet replaced goes back.
    if [ -d "$stage/earlier" ] && [ ! -e "$out/$name" ]; then
        mv -T "$stage/earlier" "$out/$name"
    fi
    rm -rf "$stage"
    if ! $finished && $made_out; then
        rmdir "$out" 2>/dev/null || true
    fi
}
trap clean_up EXIT
trap 'exit 1' INT TERM HUP

mkdir "$stage/$name"
# The installer without its symbols, by the strip of its kind of file.
if [ "$(head -c 2 "$setup")" = MZ ]; then
    kind=exe
    i686-w64-mingw32-strip -o "$stage/$name/$program" "$setup" 2>/dev/null ||
        x86_64-w64-mingw32-strip -o "$stage/$name/$program" "$setup"
else
    kind=elf
    strip -o "$stage/$name/$program" "$setup"
fi
chmod 755 "$stage/$name/$program"
"$packer" -q "$stage/$name/ymw.lz_" "$files"
chmod 644 "$stage/$name/ymw.lz_"
"$packer" -t -q "$stage/$name/ymw.lz_"

# The texts for players and the licence, in CR LF lines as Windows shows
# them, the Japanese one in code page 932; then the zip: its entries in a
# fixed order, each with the time of SOURCE_DATE_EPOCH (in UTC) and its
# mode, and no other metadata.
python3 - "$stage" "$name" "$program" "$kind" "$top" <<'EOF'
import os, sys, time, zipfile
stage, name, program, kind, top = sys.argv[1:]
folder = os.path.join(stage, name)
# A line that begins with [exe] or [elf] stays, without that, only for an
# installer of that kind; @NAME@ and @SETUP@ name the folder and the
# installer.
def text_file(source, target, encoding):
    with open(source, encoding='utf-8') as f:
        lines = f.read().splitlines()
    kept = []
    for line in lines:
        if line.startswith(('[exe]', '[elf]')):
            if line[1:4] != kind:
                continue
            line = line[5:]
        kept.append(line.replace('@NAME@', name).replace('@SETUP@', program))
    with open(os.path.join(folder, target), 'wb') as f:
        f.write(('\r\n'.join(kept) + '\r\n').encode(encoding))
    os.chmod(os.path.join(folder, target), 0o644)
text_file(os.path.join(top, 'tools', 'dist', 'player-readme.en.txt'), 'README.txt', 'ascii')
text_file(os.path.join(top, 'tools', 'dist', 'player-readme.ja.txt'), 'README-ja.txt', 'cp932')
text_file(os.path.join(top, 'LICENSE'), 'LICENSE.txt', 'ascii')

stamp = time.gmtime(max(int(os.environ['SOURCE_DATE_EPOCH']), 315532800))[:6]
def entry(arcname, mode, dos_attributes=0):
    info = zipfile.ZipInfo(arcname, stamp)
    info.create_system = 3  # Unix, whose mode bits follow
    info.external_attr = mode << 16 | dos_attributes
    info.compress_type = zipfile.ZIP_DEFLATED
    return info
with zipfile.ZipFile(os.path.join(stage, name + '.zip'), 'w') as archive:
    archive.writestr(entry(name + '/', 0o40755, 0x10), b'')
    for file in sorted(os.listdir(folder)):
        path = os.path.join(folder, file)
        with open(path, 'rb') as f:
            archive.writestr(entry(name + '/' + file, 0o100000 | os.stat(path).st_mode & 0o777), f.read())
    assert archive.testzip() is None
EOF
(cd "$stage" && LC_ALL=C sha256sum "$name.zip" > "$name.zip.sha256" && LC_ALL=C sha256sum --quiet -c "$name.zip.sha256")

# Into place: the earlier outputs of NAME (checked again) are replaced,
# each by one rename, the folder's by way of the stage.
ours || refuse "$out/$name changed while the distribution was made; it is left as it is"
if [ -d "$out/$name" ]; then
    mv -T "$out/$name" "$stage/earlier"
fi
mv -T "$stage/$name" "$out/$name"
mv -f -T "$stage/$name.zip" "$out/$name.zip"
mv -f -T "$stage/$name.zip.sha256" "$out/$name.zip.sha256"
finished=true
echo "$out/$name.zip"
