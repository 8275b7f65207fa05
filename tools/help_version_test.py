#!/usr/bin/env python3
"""Every built program answers --help and --version with exit status 0 on standard output, without a
display, and --version names the one version of the build.

usage: help_version_test.py VERSION PROGRAM...   (an empty PROGRAM is one this build does not have)
"""
import os
import subprocess
import sys


def main():
    version, programs = sys.argv[1], [p for p in sys.argv[2:] if p]
    # No window system at all: help and version must not need one.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.pop("WINDIR", None)
    failures = []
    for program in programs:
        name = os.path.basename(program)
        for option, check in (("--version", lambda out: out.strip().splitlines() == [f"{name} {version}"]
                               or out.strip() == f"{name} (stand-in) {version}"),
                              ("--help", lambda out: "usage:" in out.lower())):
            try:
                run = subprocess.run([program, option], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                     text=True, timeout=30)
            except subprocess.TimeoutExpired:
                failures.append(f"{name} {option}: still running after 30 s")
                continue
            if run.returncode != 0 or not check(run.stdout):
                failures.append(f"{name} {option}: exit {run.returncode}\n  stdout: {run.stdout[:300]!r}\n"
                                f"  stderr: {run.stderr[:300]!r}")
    for failure in failures:
        print(failure)
    print(f"{len(programs)} programs, {len(failures)} failures")
    return 1 if failures or not programs else 0


if __name__ == "__main__":
    sys.exit(main())
