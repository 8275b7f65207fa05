#!/usr/bin/env bash
# The Windows build: cross-compiles the core, the Windows platform layer and their tests with
# MinGW-w64 (x86_64, so they run under wine64 without 32-bit system libraries) and runs the tests
# in a throw-away Wine prefix that asks to download nothing. Then builds the shipped i686 program.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

prefix=$(mktemp -d /tmp/tallyhive-wine-XXXXXX)
trap 'WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# One server for the whole run instead of one per test program.
/usr/lib/wine/wineserver -p

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
# A Wine program now and then fails to start when several start at once: such a test is run again.
ctest --preset win64 -j "$jobs" --repeat until-pass:2

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
