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
# One server for the whole run instead of one per test program.
/usr/lib/wine/wineserver -p || true
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
# A Wine program now and then fails to start when several start at once: such a test is run again.
ctest --preset win64 -j "$jobs" --repeat until-pass:2

# The program starts and, where the web browser control cannot be created (Wine has no engine
# behind it), says so in a message box and ends: answer the box, expect a clean end.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  Xvfb :93 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null; WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
  sleep 1
  DISPLAY=:93 timeout 60 /usr/lib/wine/wine64 build/win64/app/win32/tallyhive.exe &
  program=$!
  box=""
  for _ in $(seq 100); do
    box=$(DISPLAY=:93 xdotool search --onlyvisible --name '^tallyhive$' 2>/dev/null | head -n 1 || true)
    [ -n "$box" ] && break
    sleep 0.3
  done
  [ -n "$box" ] || { echo "test-windows: the program showed no message" >&2; exit 1; }
  sleep 0.5
  DISPLAY=:93 xdotool windowfocus --sync "$box" key Return
  wait "$program" || { echo "test-windows: the program did not end cleanly" >&2; exit 1; }
  echo "test-windows: the program started, reported the missing browser control and ended"
fi

scripts/release-windows.sh
