#!/usr/bin/env bash
# Speed and memory of `tallyhive-report --json` on a datastore of 10,000 files, against a plain
# Python script doing the same job and against the floor (enumerate, read the needed times, read the
# chosen file). Prints medians and the ratios with their targets. Not part of the test run.
#
# usage: bench/report_bench.sh [RUNS]        (default 9 runs per program)
# BENCH_BUILD (default build/bench-release) and BENCH_DIR (default a fresh temporary folder) may be set.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
build=${BENCH_BUILD:-build/bench-release}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLYHIVE_TESTS=OFF -DTALLYHIVE_SERVICE=OFF >/dev/null
cmake --build "$build" -j2 --target tallyhive-report report_floor make_bench_datastore xml_throughput >/dev/null

report="$build/tools/report/tallyhive-report"
floor="$build/bench/report_floor"

own_dir=""
if [ -z "${BENCH_DIR:-}" ]; then
  own_dir=$(mktemp -d /tmp/tallyhive-bench-XXXXXX)
  trap 'rm -rf "$own_dir"' EXIT
  BENCH_DIR=$own_dir
fi
windows="$BENCH_DIR/Windows"
datastore="$windows/Performance/WinSAT/DataStore"
if [ ! -d "$datastore" ]; then
  mkdir -p "$datastore"
  echo "generating the datastore in $datastore ..."
  "$build/bench/make_bench_datastore" "$datastore" 10000 300
fi
du -sh "$datastore" | awk '{print "datastore size: " $1}'

# The three must agree on the file they pick, or the comparison means nothing.
chosen=$("$report" --windows-dir "$windows" --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["path"])')
floor_chosen=$("$floor" "$datastore" | sed 's/ [0-9]* bytes$//')
if [ "$chosen" != "$floor_chosen" ]; then
  echo "report and floor chose different files: $chosen / $floor_chosen" >&2
  exit 1
fi

# Warm the page cache: every run then measures the program, not the disk.
cat "$datastore"/* >/dev/null

# Median wall time in milliseconds of `runs` runs of a command.
median_ms() {
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)] / 1000}'
}

t_report=$(median_ms "$report" --windows-dir "$windows" --json)
t_python=$(median_ms python3 bench/report_baseline.py "$datastore")
t_floor=$(median_ms "$floor" "$datastore")
peak_kb=$( { /usr/bin/time -v "$report" --windows-dir "$windows" --json >/dev/null; } 2>&1 |
           awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}')

echo
echo "median of $runs runs, page cache warm:"
printf '  tallyhive-report --json  %8s ms\n' "$t_report"
printf '  python baseline          %8s ms\n' "$t_python"
printf '  floor                    %8s ms\n' "$t_floor"
awk -v r="$t_report" -v p="$t_python" -v f="$t_floor" -v kb="$peak_kb" 'BEGIN {
  printf "speed-up over python:     %6.1fx  (target >= 4x)\n", p / r
  printf "ratio to the floor:       %6.2fx  (target <= 1.5x)\n", r / f
  printf "peak memory of report:    %6.1f MB (target < 32 MB)\n", kb / 1024
}'
"$build/bench/xml_throughput"
