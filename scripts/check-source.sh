#!/usr/bin/env bash
# Cheap source checks: formatting, and that the portable core includes no platform or toolkit header.
set -euo pipefail
cd "$(dirname "$0")/.."

core_dirs=(assessment presentation share remeasure app)
bad=$(git ls-files -- "${core_dirs[@]}" | grep -E '\.(h|cpp)$' | grep -v -E '(^|/)(qt|win32|posix)/' |
      xargs -r grep -n -E '#include *<(windows\.h|unistd\.h|sys/|fcntl\.h|dirent\.h|pugixml|openssl/|Q[A-Za-z]|httplib|sqlite3)' || true)
if [ -n "$bad" ]; then
  echo "check-source: the portable core includes platform headers:" >&2
  echo "$bad" >&2
  exit 1
fi

files=$(git ls-files -- '*.h' '*.cpp' | grep -v -E '^(build|third_party)/' || true)
if [ -n "$files" ]; then
  echo "$files" | xargs clang-format --dry-run -Werror
fi
echo "check-source: ok"
