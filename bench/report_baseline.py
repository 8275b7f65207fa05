#!/usr/bin/env python3
"""The report's job done plainly in Python, as the benchmark's yardstick: scan the datastore, pick
the newest formal assessment by the same rule (regular files whose full path contains "Formal" and
whose extension is ".xml" in any letter case; latest creation time in whole local seconds, the first
of a tie), parse it and print the six scores.

usage: report_baseline.py FOLDER
"""
import os
import sys
import time
import xml.etree.ElementTree as ElementTree


def creation_time(st):
    # Linux offers no birth time through os.stat before Python 3.12; the generated files have
    # birth times later than their modification times, for which the rule takes the latter anyway.
    return int(st.st_mtime)


def comparable(seconds):
    return int(time.mktime(time.localtime(seconds)))


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder = sys.argv[1]
    best, best_time = "", 0
    with os.scandir(folder) as entries:
        for entry in entries:
            path = os.path.join(folder, entry.name)
            if "Formal" not in path or os.path.splitext(entry.name)[1].lower() != ".xml":
                continue
            if not entry.is_file():
                continue
            seconds = comparable(creation_time(entry.stat()))
            if best_time == 0 or best_time < seconds:
                best, best_time = path, seconds
    if not best:
        print("no formal assessment in " + folder, file=sys.stderr)
        return 1
    root = ElementTree.parse(best).getroot()
    for name in ("SystemScore", "MemoryScore", "CpuScore", "GraphicsScore", "GamingScore", "DiskScore"):
        print(name, root.findtext("WinSPR/" + name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
