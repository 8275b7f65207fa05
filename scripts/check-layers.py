#!/usr/bin/env python3
"""The layer rule of the source tree: a file may include headers of its own folder and of the layers
below it, never of a layer above it or beside it; the portable layers include no platform or toolkit
header. The order is the one the build links in (see the top-level CMakeLists.txt and
docs/architecture.md). Usage: check-layers.py FILE... (paths relative to the top of the tree)."""
import re
import sys

# Lowest first. Folders on one level are beside each other: neither may include the other.
LEVELS = {
    "base": 0,
    "assessment": 1,
    "presentation": 2,
    "share": 3,
    "remeasure": 3,
    "app": 4,
    "runner": 4,
    "platform": 5,
    # The programs: hosts, tools and the service stand on everything below, not on each other.
    "app/qt": 6,
    "app/win32": 6,
    "runner/posix": 6,
    "runner/win32": 6,
    "tools": 6,
    "service": 6,
    "resources": 6,
    # Benchmarks measure any program.
    "bench": 7,
}
PORTABLE = {"base", "assessment", "presentation", "share", "remeasure", "app", "runner"}
PLATFORM_HEADER = re.compile(
    r"#\s*include\s*<(windows\.h|winsock|unistd\.h|sys/|fcntl\.h|dirent\.h|signal\.h|pthread\.h|"
    r"pugixml|openssl/|Q[A-Za-z]|httplib|sqlite3|pqxx|CLI/)")
PROJECT_INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')
# Tests run the layers against the real platform services through these factories only, and may
# write their assessment files with the document writer of the tools.
TEST_HEADERS = {"platform/Platform.h", "platform/Processes.h", "platform/HostServices.h",
                "tools/assessment_writer/AssessmentWriter.h"}


def unit_of(path):
    parts = path.split("/")
    if len(parts) >= 3 and "/".join(parts[:2]) in LEVELS:
        return "/".join(parts[:2])
    return parts[0] if parts[0] in LEVELS else None


def is_test(path):
    return path.endswith("_test.cpp") or "/testing/" in path


def main(paths):
    problems = []
    for path in paths:
        unit = unit_of(path)
        if unit is None:
            continue
        level = LEVELS[unit]
        with open(path, encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                if unit in PORTABLE and PLATFORM_HEADER.match(line.strip()):
                    problems.append(f"{path}:{number}: the portable {unit}/ includes a platform header: "
                                    f"{line.strip()}")
                    continue
                found = PROJECT_INCLUDE.match(line.strip())
                if not found:
                    continue
                header = found.group(1)
                target = unit_of(header)
                if target is None or target == unit:
                    continue
                if is_test(path) and header in TEST_HEADERS:
                    continue
                if LEVELS[target] >= level:
                    where = "above" if LEVELS[target] > level else "beside"
                    problems.append(f"{path}:{number}: {unit}/ includes {header}, a layer {where} it")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
