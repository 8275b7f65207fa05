#!/usr/bin/env bash
# Cheap source checks: the layer rule (no include goes up or across a layer, no platform or toolkit
# header in the portable layers) and the formatting (.clang-format).
set -euo pipefail
cd "$(dirname "$0")/.."

git ls-files -- '*.h' '*.cpp' '*.cpp.in' | grep -v -E '^(build|third_party)/' | xargs python3 scripts/check-layers.py ||
  { echo "check-source: an include breaks the layer order (docs/architecture.md)" >&2; exit 1; }

files=$(git ls-files -- '*.h' '*.cpp' | grep -v -E '^(build|third_party)/' || true)
if [ -n "$files" ]; then
  echo "$files" | xargs clang-format --dry-run -Werror
fi
echo "check-source: ok"
