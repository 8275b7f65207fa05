#!/usr/bin/env python3
"""Speed of the desktop program: from start to the agreement page painted, and from a click on
"load_lastest_result" to the filled result page, with the local service. Median of several runs on a
virtual X server.

usage: bench/desktop_speed.py [RUNS]   (built programs are taken from build/release)"""

import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "app", "qt", "e2e"))
import harness  # noqa: E402

BUILD = os.environ.get("BENCH_BUILD", os.path.join(ROOT, "build", "release"))


def one_run(xvfb, work):
    service = harness.Service([os.path.join(BUILD, "service", "tallyhive-service")], work.sub("service"))
    windows = harness.make_windows_dir(os.path.join(BUILD, "tools", "assessment_writer", "tallyhive-make-assessment"),
                                       work.sub("windows"))
    program = harness.Program(os.path.join(BUILD, "app", "qt", "tallyhive"), work.path, service.root, windows,
                              display=xvfb.display)
    try:
        _, painted = program.wait_event("painted", lambda e: "/134" in e["token"])
        startup = painted["ms"] / 1000.0 - program.started
        mark, _ = program.wait_page("/134")
        program.click("#agree")
        mark, _ = program.wait_page(service.software + "start.php", mark)
        program.click("#load_lastest_result")
        _, click = program.wait_event("click", lambda e: e["id"] == "load_lastest_result", mark)
        _, done = program.wait_event("painted", lambda e: "result_20.php" in e["token"], mark)
        return startup, (done["ms"] - click["ms"]) / 1000.0
    finally:
        program.close()
        service.close()


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    xvfb = harness.Xvfb()
    starts, loads = [], []
    try:
        for _ in range(runs):
            work = harness.Workdir(prefix="tallyhive-speed-")
            try:
                s, l = one_run(xvfb, work)
                starts.append(s)
                loads.append(l)
            finally:
                work.close()
    finally:
        xvfb.close()
    s, l = statistics.median(starts), statistics.median(loads)
    print(f"start to agreement painted:       {s:.3f} s (target < 1.5 s, ratio {s / 1.5:.2f})  runs " + ", ".join(f"{v:.3f}" for v in starts))
    print(f"load click to result page filled: {l:.3f} s (target < 1 s, ratio {l / 1.0:.2f})")


if __name__ == "__main__":
    main()
