#!/usr/bin/env bash
# The Windows release: the i686 program (one 32-bit program runs on every supported Windows), built
# with MinGW-w64, checked for its resources and packed into a zip it runs straight from.
# usage: scripts/release-windows.sh      -> build/release-windows/tallyhive-windows-VERSION.zip
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target tallyhive
version=$(sed -n 's/^#define TALLYHIVE_VERSION "\(.*\)"$/\1/p' build/win32/generated/tallyhive_version.h)
python3 scripts/check-windows-resources.py build/win32/app/win32/tallyhive.exe build/win32/runner/AssessRunner.exe "$version"

out=build/release-windows
rm -rf "$out"
mkdir -p "$out"
cp build/win32/app/win32/tallyhive.exe "$out/tallyhive.exe"
(cd "$out" && zip -q -9 "tallyhive-windows-$version.zip" tallyhive.exe && rm tallyhive.exe)
echo "release: $out/tallyhive-windows-$version.zip"
