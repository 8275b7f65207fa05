#!/usr/bin/env bash
# The main job on an embedded default: installs what the build needs, builds, prepares a demo Windows
# directory whose datastore holds a formal assessment made at this moment (its file times must agree
# with its contents, so it cannot be a committed file), and prints its report.
#
# usage: scripts/demo.sh [--no-install]
# DEMO_DIR (default build/demo) is where the demo Windows directory is made.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

if [ "${1:-}" != "--no-install" ]; then
  scripts/install-deps.sh core service
fi

echo "== building"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target tallyhive-report tallyhive-make-assessment

bin=build/release
windows=${DEMO_DIR:-build/demo}/Windows
rm -rf "$windows"
mkdir -p "$windows"

echo "== a demo datastore in $windows"
# An earlier initial assessment and the newest formal one: the report picks the newest.
"$bin/tools/assessment_writer/tallyhive-make-assessment" --windows-dir "$windows" --initial \
  --time "@$(( $(date +%s) - 86400 ))" --system 4.2 >/dev/null
"$bin/tools/assessment_writer/tallyhive-make-assessment" --windows-dir "$windows" \
  --product "Windows 7 Ultimate" --system 5.9 --memory 7.5 --cpu 7.4 --graphics 5.9 --gaming 6.1 --disk 5.9 \
  --processor "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz" --adapter "NVIDIA GeForce GTX 560" \
  --video-memory 1073741824 --memory-bytes 8589934592 --disk-vendor "ST1000DM003" \
  --machine-maker "Demo" --machine-model "Workstation" >/dev/null

echo "== report"
"$bin/tools/report/tallyhive-report" --windows-dir "$windows"
