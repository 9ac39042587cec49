# bench/common.sh: what the benchmark scripts share, sourced by them with
# their own arguments after `bench_name` is set. Installs what the
# benchmarks need through tools/install-deps.sh bench, and sets:
#   here, root  this folder and the project's
#   build       BUILD_DIR, the first argument (default: build)
#   runs        RUNS, the second argument (default: 5)
#   work        where the benchmark data is kept: $LH1_BENCH_DIR, default
#               $TMPDIR/yamawyrm-lh1-bench
#   jar         libjlha-java's jar
#   fail MESSAGE, median VALUES...
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
[ $# -le 2 ] || { echo "usage: $0 [BUILD_DIR [RUNS]]" >&2; exit 2; }
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "$0: RUNS must be a positive number: $runs" >&2; exit 2; }
"$root/tools/install-deps.sh" bench
work=${LH1_BENCH_DIR:-${TMPDIR:-/tmp}/yamawyrm-lh1-bench}

fail() { echo "$bench_name: $*" >&2; exit 1; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

jar=
for candidate in /usr/share/java/jlha-0.0.20050504.jar /usr/share/java/jlha.jar; do
    [ -f "$candidate" ] && jar=$candidate && break
done
