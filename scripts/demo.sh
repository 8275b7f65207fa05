#!/usr/bin/env bash
# The main job on an embedded default: installs what it needs, builds, starts the local web service
# with its SQLite store, prepares a demo Windows directory whose datastore holds a formal assessment
# made at this moment (its file times must agree with its contents, so it cannot be a committed file)
# and opens the program on it. Without a display the same flow runs on a virtual screen and writes a
# screenshot of every page; the text report is printed either way.
#
# usage: scripts/demo.sh [--no-install] [--report-only]
# DEMO_DIR (default build/demo) is where the demo Windows directory, service data and screenshots go.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
install=1
report_only=0
for arg in "$@"; do
  case "$arg" in
    --no-install) install=0 ;;
    --report-only) report_only=1 ;;
    *) echo "usage: scripts/demo.sh [--no-install] [--report-only]" >&2; exit 2 ;;
  esac
done

if [ "$install" = 1 ]; then
  if [ "$report_only" = 1 ]; then scripts/install-deps.sh core service; else scripts/install-deps.sh core service desktop; fi
fi

echo "== building"
cmake --preset release >/dev/null
targets=(tallyhive-report tallyhive-make-assessment)
[ "$report_only" = 1 ] || targets+=(tallyhive-service tallyhive_winsat_standin)
cmake --build --preset release -j "$jobs" --target "${targets[@]}"
bin=build/release
desktop=0
if [ "$report_only" = 0 ] && cmake --build --preset release -j "$jobs" --target help | grep -q '^tallyhive:'; then
  cmake --build --preset release -j "$jobs" --target tallyhive
  desktop=1
fi

demo=$(mkdir -p "${DEMO_DIR:-build/demo}" && cd "${DEMO_DIR:-build/demo}" && pwd)
windows=$demo/Windows
rm -rf "$windows"
mkdir -p "$windows"
echo "== a demo Windows directory in $windows"
# An earlier initial assessment and the newest formal one: the newest is shown.
"$bin/tools/assessment_writer/tallyhive-make-assessment" --windows-dir "$windows" --initial \
  --time "@$(( $(date +%s) - 86400 ))" --system 4.2 >/dev/null
"$bin/tools/assessment_writer/tallyhive-make-assessment" --windows-dir "$windows" \
  --product "Windows 7 Ultimate" --system 5.9 --memory 7.5 --cpu 7.4 --graphics 5.9 --gaming 6.1 --disk 5.9 \
  --processor "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz" --adapter "NVIDIA GeForce GTX 560" \
  --video-memory 1073741824 --memory-bytes 8589934592 --disk-vendor "ST1000DM003" \
  --machine-maker "Demo" --machine-model "Workstation" >/dev/null

echo "== report"
"$bin/tools/report/tallyhive-report" --windows-dir "$windows"
[ "$report_only" = 1 ] && exit 0

if [ "$desktop" = 0 ]; then
  echo "== the desktop program was not built (Qt 6 WebEngine missing); the report above is the demo"
  exit 0
fi

if [ -n "${DISPLAY:-}" ] && [ "${DEMO_OFFSCREEN:-0}" != 1 ]; then
  echo "== starting the service and the program (close the window or choose \"Not agree\" to end)"
  "$bin/service/tallyhive-service" --data "$demo/service-data" > "$demo/service.out" 2> "$demo/service.log" &
  service=$!
  trap 'kill "$service" 2>/dev/null; wait "$service" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -s "$demo/service.out" ] && break; sleep 0.1; done
  if [ ! -s "$demo/service.out" ]; then
    echo "demo: the service did not start (is port 8470 in use?):" >&2
    cat "$demo/service.log" >&2
    exit 1
  fi
  echo "   service: $(cat "$demo/service.out")"
  # "Measure again" runs the stand-in assessment tool, which writes into the same Windows directory.
  PATH="$PWD/$bin/tools/winsat-standin/bin:$PATH" WINDIR="$windows" "$bin/app/qt/tallyhive" --windows-dir "$windows"
else
  echo "== no display: the same flow on a virtual screen, with screenshots"
  python3 app/qt/e2e/demo_flow.py "$bin/app/qt/tallyhive" "$bin/service/tallyhive-service" "$windows" "$demo/screenshots"
fi
