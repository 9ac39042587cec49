#!/usr/bin/env bash
# Makes the game's distribution from a folder of its files, in one command:
#   OUT/yamawyrm-VERSION/yamawyrm-setup.exe  the installer, stripped
#   OUT/yamawyrm-VERSION/ymw.lz_             the game's files, packed and tested
#   OUT/yamawyrm-VERSION.zip                 that folder, zipped
#   OUT/SHA256SUMS                           the checksums of the three
# The bytes depend on nothing but the game files (their names, bytes and
# times, each time capped by SOURCE_DATE_EPOCH), the two programs and
# SOURCE_DATE_EPOCH, which is the time of the last commit when it is not
# set: run twice, it makes the same bytes.
#
#   tools/make-dist.sh [--setup PROGRAM] [--packer YMW_PACK] GAME_FILES [OUT]
#
# Without --setup the Windows installer is built (tools/build-windows.sh,
# which installs the cross compiler); with it, PROGRAM goes into the
# folder instead (the Linux build, say). Without --packer, build/ymw-pack
# is built. OUT is build-dist by default; what it held is replaced.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
    echo "usage: $0 [--setup PROGRAM] [--packer YMW_PACK] GAME_FILES [OUT]" >&2
    exit 2
}
setup="" packer=""
while [ $# -gt 0 ]; do
    case "$1" in
        --setup) [ $# -ge 2 ] || usage; setup=$2; shift 2 ;;
        --packer) [ $# -ge 2 ] || usage; packer=$2; shift 2 ;;
        --) shift; break ;;
        -*) usage ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] && [ $# -le 2 ] || usage
files=$1
out=${2:-build-dist}
[ -d "$files" ] || { echo "$0: not a folder of game files: $files" >&2; exit 2; }

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null) || {
        echo "$0: set SOURCE_DATE_EPOCH (not a git checkout)" >&2
        exit 2
    }
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
name=yamawyrm-${version#ymw-pack }
rm -rf "$out"
mkdir -p "$out/$name"
program=$out/$name/$(basename "$setup")

# The installer without its symbols, by the strip of its kind of file.
if [ "$(head -c 2 "$setup")" = MZ ]; then
    i686-w64-mingw32-strip -o "$program" "$setup" 2>/dev/null ||
        x86_64-w64-mingw32-strip -o "$program" "$setup"
else
    strip -o "$program" "$setup"
fi
chmod 755 "$program"
"$packer" -q "$out/$name/ymw.lz_" "$files"
chmod 644 "$out/$name/ymw.lz_"
"$packer" -t -q "$out/$name/ymw.lz_"

# The zip: its entries in a fixed order, each with the time of
# SOURCE_DATE_EPOCH (in UTC) and the mode set above, and no other
# metadata.
python3 - "$out" "$name" <<'EOF'
import os, sys, time, zipfile
out, name = sys.argv[1], sys.argv[2]
stamp = time.gmtime(max(int(os.environ['SOURCE_DATE_EPOCH']), 315532800))[:6]
def entry(arcname, mode, dos_attributes=0):
    info = zipfile.ZipInfo(arcname, stamp)
    info.create_system = 3  # Unix, whose mode bits follow
    info.external_attr = mode << 16 | dos_attributes
    info.compress_type = zipfile.ZIP_DEFLATED
    return info
with zipfile.ZipFile(os.path.join(out, name + '.zip'), 'w') as archive:
    archive.writestr(entry(name + '/', 0o40755, 0x10), b'')
    for file in sorted(os.listdir(os.path.join(out, name))):
        path = os.path.join(out, name, file)
        with open(path, 'rb') as f:
            archive.writestr(entry(name + '/' + file, 0o100000 | os.stat(path).st_mode & 0o777), f.read())
EOF
(cd "$out" && LC_ALL=C sha256sum "$name"/* "$name.zip" > SHA256SUMS)
echo "$out/$name.zip"
