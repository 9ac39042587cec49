#!/bin/bash
# bench/lh1_pack_bench.sh: ymw-pack's -lh1- encoder against the independent
# encoder of libjlha-java, on the same files in the same run: packed sizes
# file by file and in all, and packing speed.
#
# Usage: bench/lh1_pack_bench.sh [BUILD_DIR [RUNS]]
#   BUILD_DIR  where ymw-pack was built (default: build)
#   RUNS       packings by each encoder, taken in turn (default: 5)
#
# The files: the members of the large decoder benchmark (16 MB from
# bench/make_lh1_bench_data.py, kept in $LH1_BENCH_DIR, default
# $TMPDIR/yamawyrm-lh1-bench, as bench/lh1_bench.sh keeps them), the
# demo's sources in demo/files, a 4 KiB slice of machine code and
# relocation tables cut from the cmake executable (this machine's: its
# figures differ between machines) and the GPL version 2 text of
# /usr/share/common-licenses where there is one. Each run packs all of them into one
# archive, every member forced to -lh1-: "ymw-pack --method lh1", and the
# Java encoder through tests/lha/java/Lh1ArchiveMaker.java, one after the
# other so that each pair sees the same load on the machine. Sizes are
# those of the packed data in the member headers; speeds are unpacked
# bytes over the median wall time of a whole run, process start included
# (1 MB = 10^6 bytes). ymw-pack's archive is checked with "lhasa t", and
# the script fails when any member of ours is larger than the Java
# encoder's.
#
# Needs: python3, a JDK (javac, java), libjlha-java, lhasa.
bench_name=lh1_pack_bench
source "$(dirname "$0")/common.sh" "$@"
pack=$build/ymw-pack

[ -x "$pack" ] || fail "no $pack; build the project first"
for tool in python3 javac java lhasa; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done
[ -n "$jar" ] || fail "libjlha-java is missing"

mkdir -p "$work/pack"
[ -f "$work/data/credits.txt" ] || python3 "$here/make_lh1_bench_data.py" "$work/data"
files=("$work/data/manual.txt" "$work/data/events.log" "$work/data/game.exe" "$work/data/world.dat"
       "$work/data/credits.txt")
for f in "$root"/demo/files/*; do
    files+=("$f")
done
cmake_exe=$(command -v cmake || true)
if [ -n "$cmake_exe" ] && [ "$(stat -L -c %s "$cmake_exe")" -ge 65536 ]; then
    dd if="$cmake_exe" of="$work/pack/cmake.slice" bs=4096 skip=15 count=1 status=none
    files+=("$work/pack/cmake.slice")
fi
[ -f /usr/share/common-licenses/GPL-2 ] && files+=(/usr/share/common-licenses/GPL-2)
mkdir -p "$work/pack/classes"
javac -nowarn -d "$work/pack/classes" -cp "$jar" "$root/tests/lha/java/Lh1ArchiveMaker.java"
list=$work/pack/list.txt
: > "$list"
for f in "${files[@]}"; do
    printf '%s\t%s\t%s\n' "$work/pack/java.lzh" "$(basename "$f")" "$f" >> "$list"
done

# Wall time of one command in microseconds.
timed() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(( (end - start) / 1000 ))
}

ours=()
theirs=()
for ((i = 0; i < runs; i++)); do
    ours+=("$(timed "$pack" --method lh1 "$work/pack/ours.lzh" "${files[@]}")")
    theirs+=("$(timed java -cp "$work/pack/classes:$jar" Lh1ArchiveMaker "$list")")
done
lhasa t "$work/pack/ours.lzh" >/dev/null || fail "lhasa finds ymw-pack's archive damaged"


python3 - "$work/pack/ours.lzh" "$work/pack/java.lzh" "$(median "${ours[@]}")" "$(median "${theirs[@]}")" \
    "$runs" "${files[@]}" <<'EOF'
import os
import sys

ours_path, java_path, ours_us, java_us, runs = sys.argv[1:6]
files = sys.argv[6:]


def members(path):
    """(method, packed size, unpacked size) of each level-0 header."""
    data = open(path, 'rb').read()
    out, at = [], 0
    while data[at] != 0:
        packed = int.from_bytes(data[at + 7:at + 11], 'little')
        out.append((data[at + 2:at + 7].decode(), packed, int.from_bytes(data[at + 11:at + 15], 'little')))
        at += data[at] + 2 + packed
    return out


ours, java = members(ours_path), members(java_path)
assert len(ours) == len(java) == len(files), 'both archives hold every file'
total = sum(m[2] for m in ours)
print(f'{len(files)} files, {total / 1e6:.2f} MB, every member -lh1-; {runs} runs each, medians')
print(f'{"file":<14} {"size":>9} {"libjlha":>9} {"ymw-pack":>9} {"smaller by":>10}')
worst = None
larger = []
for path, o, j in zip(files, ours, java):
    assert o[0] == j[0] == '-lh1-' and o[2] == j[2] == os.path.getsize(path)
    gain = 100.0 * (j[1] - o[1]) / j[1]
    name = os.path.basename(path)
    print(f'{name:<14} {o[2]:>9} {j[1]:>9} {o[1]:>9} {gain:>9.2f}%')
    if worst is None or gain < worst[1]:
        worst = (name, gain)
    if o[1] > j[1]:
        larger.append(f'{name} ({o[1]} bytes, libjlha {j[1]})')
ours_sum, java_sum = sum(m[1] for m in ours), sum(m[1] for m in java)
print(f'{"all":<14} {total:>9} {java_sum:>9} {ours_sum:>9} {100.0 * (java_sum - ours_sum) / java_sum:>9.2f}%'
      f'   (target: at least 3%; worst file {worst[0]}, {worst[1]:.2f}%, target: not larger)')
print(f'ymw-pack  {int(ours_us) / 1e6:7.3f} s  {total / int(ours_us):6.1f} MB/s   (target: at least 20 MB/s)')
print(f'libjlha   {int(java_us) / 1e6:7.3f} s  {total / int(java_us):6.1f} MB/s   (JVM start included)')
if larger:
    sys.exit('lh1_pack_bench: ymw-pack packs larger than libjlha: ' + ', '.join(larger))
EOF
