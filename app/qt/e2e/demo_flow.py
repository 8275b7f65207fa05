#!/usr/bin/env python3
"""The demo without a display: the real program on a virtual X server, the real service, the demo
Windows directory. Goes through the agreement, the start page, the result, the profile and the share,
and writes a screenshot of every page.

usage: demo_flow.py PROGRAM SERVICE WINDOWS-DIR SCREENSHOT-DIR"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


def main():
    program_path, service_path, windows, shots = sys.argv[1:5]
    os.makedirs(shots, exist_ok=True)
    work = harness.Workdir(prefix="tallyhive-demo-")
    xvfb = service = program = None
    try:
        xvfb = harness.Xvfb()
        service = harness.Service([service_path], work.sub("service-data"))
        program = harness.Program(program_path, work.path, service.root, windows, display=xvfb.display)
        software = service.software

        def shot(name, what):
            path = os.path.join(shots, name + ".png")
            program.screenshot(path)
            print(f"  {what:<34} {path}")

        mark, _ = program.wait_page("/134")
        shot("1-agreement", "agreement page")
        program.click("#agree")
        mark, _ = program.wait_page(software + "start.php", mark)
        shot("2-start", "start page")
        program.click("#load_lastest_result")
        mark, _ = program.wait_page(software + "result_20.php", mark)
        shot("3-result", "result page, filled by the program")
        program.devtools().call("Page.navigate", url=software + "result_profile_20.php")
        mark, _ = program.wait_page(software + "result_profile_20.php", mark)
        shot("4-profile", "profile page")
        program.click("#share")
        mark, handled = program.wait_page(software + "result_profile_20.php?id=", mark)
        shot("5-shared", "shared (" + handled["url"].split("?")[1] + ")")
        program.click("#open_page")
        deadline = time.monotonic() + harness.WAIT
        while not program.opened_urls() and time.monotonic() < deadline:
            time.sleep(0.05)
        for url in program.opened_urls():
            print(f"  {'opened in the browser':<34} {url}")
            program.devtools().call("Page.navigate", url=url)
            program.wait_event("arrived", lambda e: "share.php" in e["url"])
            shot("6-share-page", "public share page")
        return 0
    finally:
        for process in (program, service, xvfb):
            if process:
                process.close()
        work.close()


if __name__ == "__main__":
    sys.exit(main())
