#!/bin/bash
# bench/lh1_bench.sh: how fast the installer extracts a large -lh1- archive,
# against lhasa on the same archive in the same run.
#
# Usage: bench/lh1_bench.sh [BUILD_DIR [RUNS]]
#   BUILD_DIR  where yamawyrm-setup was built (default: build)
#   RUNS       extractions of each program, taken in turn (default: 5)
#
# The archive (16 MB unpacked: two text members and two executable-like
# members from bench/make_lh1_bench_data.py, packed as -lh1- with level-0
# headers by the independent encoder of libjlha-java through
# tests/lha/java) is made once and kept in $LH1_BENCH_DIR (default:
# $TMPDIR/yamawyrm-lh1-bench). Each run of the installer answers its
# questions from a pipe (the default install directory, then no), with
# WINEPREFIX set to a fresh folder and COMSPEC unset, and finds the archive
# as ymw.lz_ in its current directory. Each run of "lhasa x" extracts into a
# fresh folder, right after the installer's run, so that each pair sees the
# same load on the machine. Printed: the median wall time of each, the
# throughput in MB/s of unpacked data (1 MB = 10^6 bytes), the median of
# the pairs' ratios, and the peak resident size of each from
# /usr/bin/time -v; also the installer's peak on a small archive, to show
# that it does not grow with member size.
#
# Needs: python3, a JDK (javac, java), libjlha-java, lhasa, GNU time
# (tools/install-deps.sh bench installs what is missing).
bench_name=lh1_bench
source "$(dirname "$0")/common.sh" "$@"
setup=$build/yamawyrm-setup

[ -x "$setup" ] || fail "no $setup; build the project first"
for tool in python3 javac java lhasa /usr/bin/time; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done
[ -n "$jar" ] || fail "libjlha-java is missing"

members=(manual.txt events.log game.exe world.dat)

# The archive, made once.
mkdir -p "$work"
if [ ! -f "$work/ymw.lz_" ]; then
    echo "making the archive in $work ..."
    python3 "$here/make_lh1_bench_data.py" "$work/data"
    mkdir -p "$work/classes"
    javac -nowarn -d "$work/classes" -cp "$jar" "$root/tests/lha/java/Lh1ArchiveMaker.java"
    : > "$work/list.txt"
    for m in "${members[@]}"; do
        printf '%s\t%s\t%s\n' "$work/ymw.lz_.new" "$m" "$work/data/$m" >> "$work/list.txt"
    done
    java -cp "$work/classes:$jar" Lh1ArchiveMaker "$work/list.txt"
    mv "$work/ymw.lz_.new" "$work/ymw.lz_"
fi
unpacked=0
for m in "${members[@]}"; do
    unpacked=$((unpacked + $(stat -c %s "$work/data/$m")))
done

# Runs one program with GNU time; prints "<seconds> <peak KiB>".
timed() {
    local report=$work/time.txt
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    local kib
    kib=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$report")
    echo "$(( (end - start) / 1000 )) $kib"
}

run_setup() {
    local dir=$1
    rm -rf "$dir/prefix" && mkdir -p "$dir/prefix"
    (cd "$dir" && printf '\n\nn\nn\n\n' | env -u COMSPEC WINEPREFIX="$dir/prefix" \
        /usr/bin/time -v -o "$work/time.txt" "$setup" >/dev/null)
}

run_lhasa() {
    rm -rf "$work/lhasa-out" && mkdir -p "$work/lhasa-out"
    (cd "$work/lhasa-out" && /usr/bin/time -v -o "$work/time.txt" lhasa xqf ../ymw.lz_ >/dev/null)
}

check_setup_output() {
    for m in "${members[@]}"; do
        cmp -s "$work/prefix/drive_c/games/yamawyrm/$m" "$work/data/$m" || fail "the installer wrote a wrong $m"
    done
}

setup_times=()
lhasa_times=()
ratios=()
setup_peak=0
lhasa_peak=0
for ((i = 0; i < runs; i++)); do
    read -r us kib < <(timed run_setup "$work")
    setup_times+=("$us")
    ((kib > setup_peak)) && setup_peak=$kib
    [ "$i" = 0 ] && check_setup_output
    read -r lhasa_us kib < <(timed run_lhasa)
    lhasa_times+=("$lhasa_us")
    ratios+=("$(awk -v a="$lhasa_us" -v b="$us" 'BEGIN { printf "%.4f", a / b }')")
    ((kib > lhasa_peak)) && lhasa_peak=$kib
done

# The installer on an archive of one small member.
small=$work/small
mkdir -p "$small"
cp "$root/tests/data/corpus/text/text.lzh" "$small/ymw.lz_"
read -r _ small_peak < <(timed run_setup "$small")

setup_median=$(median "${setup_times[@]}")
lhasa_median=$(median "${lhasa_times[@]}")
ratio=$(median "${ratios[@]}")

awk -v bytes="$unpacked" -v runs="$runs" -v s="$setup_median" -v l="$lhasa_median" -v r="$ratio" \
    -v sp="$setup_peak" -v lp="$lhasa_peak" -v small="$small_peak" 'BEGIN {
    mb = bytes / 1e6
    ours = mb / (s / 1e6); theirs = mb / (l / 1e6)
    printf "archive: %.1f MB unpacked in 4 -lh1- members; %d runs each, medians\n", mb, runs
    printf "yamawyrm-setup  %7.3f s  %6.1f MB/s  peak %.2f MiB (%.2f MiB on a 40 kB archive)\n", s / 1e6, ours, sp / 1024, small / 1024
    printf "lhasa x         %7.3f s  %6.1f MB/s  peak %.2f MiB\n", l / 1e6, theirs, lp / 1024
    printf "ratio           %.2f, the median of the runs taken in pairs (target: at least 2.5; peak under 4 MiB)\n", r
}'
