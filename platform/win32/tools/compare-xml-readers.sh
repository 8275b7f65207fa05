#!/usr/bin/env bash
# The Windows reader (MSXML, under Wine) and the Linux reader (pugixml behind the strict scan) must
# report the same elements, texts and attributes, and refuse the same documents, for the real
# assessment files and the crafted fixtures.
# usage: compare-xml-readers.sh WINDOWS_XML_SHAPE_EXE FILE_OR_FOLDER...
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
windows_tool=$1
shift
work=$(mktemp -d /tmp/tallyhive-xml-compare-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The Linux reader, built from the same sources the Linux program uses.
c++ -std=c++20 -O1 -I"$root" "$root/platform/win32/tools/XmlShape.cpp" "$root/assessment/XmlDecode.cpp" \
  "$root/assessment/XmlTree.cpp" "$root/platform/posix/XmlParser.cpp" \
  "$root/base/Text.cpp" "$root/base/Calendar.cpp" -lpugixml -o "$work/xml-shape"

files=()
for place in "$@"; do
  if [ -d "$place" ]; then
    while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$place" -type f -name '*.xml' -print0 | sort -z)
  else
    files+=("$place")
  fi
done
[ "${#files[@]}" -gt 0 ] || { echo "compare-xml-readers: no files" >&2; exit 1; }

# One run of each reader over every file: a Wine program takes a while to start.
"$work/xml-shape" "${files[@]}" >"$work/linux.txt"
windows_paths=()
for f in "${files[@]}"; do windows_paths+=("Z:$f"); done
/usr/lib/wine/wine64 "$windows_tool" "${windows_paths[@]}" | tr -d '\r' >"$work/windows.txt"

failed=0
for i in "${!files[@]}"; do
  linux=$(sed -n "$((i + 1))p" "$work/linux.txt")
  windows=$(sed -n "$((i + 1))p" "$work/windows.txt")
  if [ "$linux" != "$windows" ]; then
    echo "DIFFERENT: ${files[$i]}"
    echo "  linux:   ${linux:0:400}"
    echo "  windows: ${windows:0:400}"
    failed=1
  else
    echo "same: ${files[$i]} (${linux:0:40})"
  fi
done
exit $failed
