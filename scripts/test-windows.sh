#!/usr/bin/env bash
# The Windows builds: cross-compiles the core, the Windows platform layer, the program and their
# tests with MinGW-w64 and runs the tests in a throw-away 64-bit Wine prefix that asks to download
# nothing: the x86_64 build natively, then the shipped i686 build as a 32-bit program on 64-bit
# Windows (WOW64, with its redirected system folder). Then packs the i686 release.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

prefix=$(mktemp -d /tmp/tallyhive-wine-XXXXXX)
trap 'WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One server for the whole run instead of one per test program.
/usr/lib/wine/wineserver -p || true
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1

for preset in win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  # One test program at a time: a Wine program that starts while another is starting in the same
  # prefix now and then dies before main (seen under load with the 32-bit build). Serially the whole
  # suite takes about a minute more, and no test is run twice to hide a failure.
  ctest --preset "$preset" -j 1
done

# The program under Wine: its window comes up with the browser control in place (Wine has no engine
# to render pages with, so nothing more can be seen here), and a second start is refused with the
# already-running message while the first runs.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  # A free display number of Xvfb's own choice, so parallel runs do not meet.
  displayfile=$(mktemp /tmp/tallyhive-display-XXXXXX)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  xvfb=$!
  # Wine's processes end before their display does.
  trap 'WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w 2>/dev/null || true; kill $xvfb 2>/dev/null; rm -f "$displayfile"; rm -rf "$prefix"' EXIT
  for _ in $(seq 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -n 1 "$displayfile")
  # The prefix's desktop process was started without a display: a fresh server starts it anew on this one.
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
  # Starts the program with the arguments, answers the one message box it must show, and checks that
  # it ends cleanly.
  answer_box() {
    local wine=$1 build=$2 what=$3
    shift 3
    timeout 60 "/usr/lib/wine/$wine" "$build/app/win32/tallyhive.exe" "$@" &
    local program=$! box=""
    for _ in $(seq 100); do
      box=$(xdotool search --onlyvisible --name '^tallyhive$' 2>/dev/null | head -n 1 || true)
      [ -n "$box" ] && break
      sleep 0.3
    done
    [ -n "$box" ] || { echo "test-windows: the program ($build $*) showed no message" >&2; exit 1; }
    sleep 0.5
    xdotool windowfocus --sync "$box" key Return
    wait "$program" || { echo "test-windows: the program ($build $*) did not end cleanly" >&2; exit 1; }
    echo "test-windows: the program ($build $*) $what and ended"
  }
  for build in "wine64 build/win64" "wine build/win32"; do
    set -- $build
    answer_box "$1" "$2" "started, reported the missing browser control"
    answer_box "$1" "$2" "showed its version" --version
  done
fi

scripts/release-windows.sh
