"""End-to-end tests of the desktop program: the real program, the web service on a free loopback
port, and a Windows directory whose datastore holds an assessment made at the start of the test.
Pages are read back through the browser's debugging port; screenshots of every page are kept.

Configuration (environment): TALLYHIVE_PROGRAM, TALLYHIVE_SERVICE (the service command line, as
JSON list or plain words), TALLYHIVE_MAKE_ASSESSMENT, TALLYHIVE_EXPECT, TALLYHIVE_E2E_ARTIFACTS."""

import html
import json
import os
import shlex
import subprocess
import sys
import time
import unittest
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

PROGRAM = os.environ.get("TALLYHIVE_PROGRAM", "")
MAKE_ASSESSMENT = os.environ.get("TALLYHIVE_MAKE_ASSESSMENT", "")
EXPECT = os.environ.get("TALLYHIVE_EXPECT", "")
WINSAT = os.environ.get("TALLYHIVE_WINSAT", "")
ARTIFACTS = os.environ.get("TALLYHIVE_E2E_ARTIFACTS", os.path.join(os.getcwd(), "e2e-artifacts"))
SHARE_PATH = "as/responses/add/tallyhive"


def service_command():
    text = os.environ.get("TALLYHIVE_SERVICE", "")
    return json.loads(text) if text.startswith("[") else shlex.split(text)


# Installed in every new document of the main world: records the host's calls of the page's bar
# functions, with the window's width at the moment of the call.
RECORD_CALLS = """
window.__calls = [];
document.addEventListener('DOMContentLoaded', function () {
  ['setBarValue', 'updateBarValue'].forEach(function (name) {
    var original = window[name];
    if (typeof original !== 'function') return;
    window[name] = function () {
      window.__calls.push({call: name, args: Array.prototype.slice.call(arguments),
                           innerWidth: window.innerWidth});
      return original.apply(this, arguments);
    };
  });
});
"""


# Installed in a page through the debugging port: records the mouse and wheel events that reach it.
INPUT_SPY = """
window.__seen = [];
['mousedown', 'mouseup', 'contextmenu', 'wheel', 'auxclick'].forEach(function (type) {
  window.addEventListener(type, function (e) {
    window.__seen.push(type + ':' + e.button + (e.ctrlKey ? ':ctrl' : ''));
  }, true);
});
true
"""


class DesktopTest(unittest.TestCase):
    display = None

    @classmethod
    def setUpClass(cls):
        if not service_command():
            raise unittest.SkipTest("the web service is not built")
        for name, value in (("TALLYHIVE_PROGRAM", PROGRAM), ("TALLYHIVE_MAKE_ASSESSMENT", MAKE_ASSESSMENT),
                            ("TALLYHIVE_EXPECT", EXPECT)):
            if not value or not os.path.exists(value):
                raise RuntimeError(f"{name} does not name a program: {value!r}")
        os.makedirs(ARTIFACTS, exist_ok=True)
        cls.xvfb = harness.Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.close()

    def setUp(self):
        self.work = harness.Workdir()
        self.addCleanup(self.work.close)
        self.service = None
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.close()
        if self.service:
            self.service.close()

    # --- helpers --------------------------------------------------------------------------
    def start_service(self, extra=()):
        self.service = harness.Service(service_command() + list(extra), self.work.sub("service-data"))
        return self.service

    def windows_dir(self, *extra, empty=False):
        folder = self.work.sub("windows-empty" if empty else "windows")
        if empty:
            os.makedirs(os.path.join(folder, "Performance", "WinSAT", "DataStore"), exist_ok=True)
            return folder
        return harness.make_windows_dir(MAKE_ASSESSMENT, folder, extra)

    def start(self, root=None, windows=None, x11=True, **options):
        program = harness.Program(PROGRAM, self.work.path, root or self.service.root, windows,
                                  display=self.xvfb.display if x11 else None, **options)
        self.programs.append(program)
        return program

    def shot(self, program, name):
        program.screenshot(os.path.join(ARTIFACTS, name + ".png"))

    def expected(self, windows, url, width, server_datetime):
        out = subprocess.run([EXPECT, windows, url, width, server_datetime], check=True, timeout=30,
                             stdout=subprocess.PIPE, text=True).stdout
        return json.loads(out)

    def record_calls(self, program):
        # Scripts for new documents only take effect once the page domain is enabled.
        program.devtools().call("Page.enable")
        program.devtools().call("Page.addScriptToEvaluateOnNewDocument", source=RECORD_CALLS)

    def check_filled(self, program, windows, url):
        """The page holds exactly what the host must have written, as the core computes it."""
        calls = program.dom("window.__calls")
        self.assertTrue(calls, "the host called no bar function")
        width = calls[0]["args"][-1]
        # The width is the client area in page pixels, whatever the display scale.
        self.assertEqual(width, f"{calls[0]['innerWidth']:.6f}")
        stamp = program.dom("document.getElementById('server_datetime').value")
        want = self.expected(windows, url, width, stamp)
        self.assertEqual([{"call": c["call"], "args": c["args"]} for c in calls],
                         [c for c in want["fill"] if "call" in c])
        for item in want["fill"]:
            if "text" in item:
                got = program.dom(f"document.getElementById({json.dumps(item['text'])}).textContent")
                self.assertEqual(got, item["value"], item["text"])
            elif "html" in item:
                got = program.dom(f"document.getElementById({json.dumps(item['html'])}).innerHTML")
                self.assertEqual(got, item["value"], item["html"])
        return stamp, want

    def fitted_client(self, program, handled):
        """The client area the fitting rules give for the page now shown, in device pixels."""
        sizes = program.dom("[document.body.scrollWidth, document.body.scrollHeight]")
        scale = handled["dpr"]
        return int(scale * max(sizes[0], 640)), int(scale * max(sizes[1], 320))

    def assert_fitted(self, program, handled):
        want_w, want_h = self.fitted_client(program, handled)
        w, h = (int(v) for v in handled["client"].split(",")[2].split("x"))
        self.assertAlmostEqual(round(w * handled["dpr"]), want_w, delta=1)
        self.assertAlmostEqual(round(h * handled["dpr"]), want_h, delta=1)

    def stored_shares(self):
        with urllib.request.urlopen(self.service.software + "api/shares?limit=200", timeout=10) as reply:
            return json.loads(reply.read().decode())

    # --- the tests ------------------------------------------------------------------------
    def test_main_flow(self):
        self.start_service()
        windows = self.windows_dir()
        program = self.start(windows=windows)
        software = self.service.software

        mark, handled = program.wait_page("/134")
        self.assertEqual(program.dom("document.documentElement.lang"), "en")
        self.assertEqual(program.dom("document.getElementById('agree').innerText"), "Agree")
        self.assertEqual(program.dom("document.querySelector('#banner img').naturalWidth"), 738)
        self.assertEqual(program.dom("document.querySelector('#about img').naturalWidth"), 128)
        self.assert_fitted(program, handled)
        self.shot(program, "01-agreement-en")

        self.record_calls(program)
        program.click("#agree")
        mark, handled = program.wait_page(software + "start.php?lang=en", mark)
        self.assert_fitted(program, handled)
        self.shot(program, "02-start")

        program.click("#load_lastest_result")
        mark, handled = program.wait_page(software + "result_20.php", mark)
        self.check_filled(program, windows, handled["url"])
        self.assert_fitted(program, handled)
        self.shot(program, "03-result")

        program.devtools().call("Page.navigate", url=software + "result_profile_20.php")
        mark, handled = program.wait_page(software + "result_profile_20.php", mark)
        stamp, want = self.check_filled(program, windows, handled["url"])
        self.shot(program, "04-profile")

        before = len(self.stored_shares())
        program.click("#share")
        mark, handled = program.wait_page(software + "result_profile_20.php?id=", mark)
        shares = self.stored_shares()
        self.assertEqual(len(shares), before + 1)
        # Every value the core put into the form is stored exactly; the pass code was accepted.
        sent = urllib.parse.parse_qs(want["share"], keep_blank_values=True)
        for key, values in sent.items():
            if key not in ("pass_code", "captcha"):
                self.assertEqual(shares[0][key], values[0], key)
        self.assertIn(f"id={shares[0]['id']}", handled["url"])
        self.check_filled(program, windows, handled["url"])
        self.shot(program, "05-shared")

        share_id = program.dom("(function (e) { return e.name || e.value; })(document.getElementById('open_page'))")
        program.click("#open_page")
        deadline = time.monotonic() + harness.WAIT
        while not program.opened_urls() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(program.opened_urls(), [f"{software}share.php?id={share_id}&lang=en"])

        program.click("#home")
        mark, handled = program.wait_page(software + "start.php", mark)
        self.assertEqual(handled["url"], software + "start.php", "home carries no language")

        first = program.events()[0]["url"]
        program.devtools().call("Page.navigate", url=first)
        mark, handled = program.wait_page("/134", mark)
        program.click("#not_agree", closes=True)
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(program.events()[-1]["event"], "closed")
        self.assertEqual(program.events()[-1]["result"], 2)

    def wait_message(self, program, after=0):
        _, message = program.wait_event("message", after=after)
        return message

    def test_japanese_agreement_and_an_outdated_program(self):
        self.start_service(["--latest-version", "2.10"])
        program = self.start(windows=self.windows_dir(), language="ja_JP.UTF-8")
        mark, handled = program.wait_page("/129")
        self.assertEqual(program.dom("document.documentElement.lang"), "ja")
        self.shot(program, "10-agreement-ja")
        before = program.mark()
        program.click("#agree")
        message = self.wait_message(program, before)
        self.assertEqual(message["kind"], "question")
        self.assertIn("(ver.2.00)", message["text"])
        self.assertIn("最新版ではない", message["text"])
        program.answer_message("Return")  # Yes: the software page goes to the user's browser
        program.wait_event("answer", after=before)
        mark, handled = program.wait_page(self.service.software + "start.php?lang=ja", mark)
        deadline = time.monotonic() + harness.WAIT
        while not program.opened_urls() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(program.opened_urls(), [self.service.software])

    def test_load_failure_and_a_second_instance(self):
        self.start_service()
        program = self.start(windows=self.windows_dir(empty=True))
        mark, _ = program.wait_page("/134")
        program.click("#agree")
        mark, _ = program.wait_page(self.service.software + "start.php", mark)
        before = program.mark()
        program.click("#load_lastest_result")
        message = self.wait_message(program, before)
        self.assertEqual(message["kind"], "warning")
        self.assertTrue(message["text"].startswith("Failed to load the last measurement results."))
        self.assertEqual(message["caption"], "tallyhive")
        program.answer_message("Return")
        program.wait_event("answer", after=before)
        self.assertIn("start.php", program.dom("location.href"), "the page stays as it was")

        second = self.start(windows=self.windows_dir(empty=True), runtime_dir=program.runtime_dir, debug=False)
        _, refused = second.wait_event("message")
        self.assertIn("already", refused["text"].lower())
        # The refusal comes before any main window: answer the box itself.
        deadline = time.monotonic() + harness.WAIT
        while not second.windows() and time.monotonic() < deadline:
            time.sleep(0.1)
        box = second.windows()[0]
        second.xdotool("windowfocus", "--sync", box)
        second.xdotool("key", "Return")
        self.assertIsNotNone(second.wait_exit())
        self.assertIsNone(program.process.poll(), "the first program goes on")

    def test_a_service_that_is_down(self):
        root = f"http://127.0.0.1:{harness.free_port()}/"
        program = self.start(root=root, windows=self.windows_dir())
        mark, _ = program.wait_page("/134")
        program.click("#agree")
        _, arrived = program.wait_event("handled", lambda e: "start.php" in e["url"], mark)
        self.assertFalse(arrived["ok"], "the browser shows its error page")
        self.assertIsNone(program.process.poll(), "nothing crashed")

    def test_measure_again_with_the_stand_in_tool(self):
        if not WINSAT or not os.path.exists(WINSAT):
            self.skipTest("no stand-in winsat")
        self.start_service()
        # The earlier assessment is an hour old: a new one is told apart by its creation second.
        windows = self.windows_dir("--time", f"@{int(time.time()) - 3600}")
        program = self.start(windows=windows, extra_env={"TALLYHIVE_WINSAT_QUICK": "1"})
        os.symlink(WINSAT, os.path.join(program.workdir, "bin", "winsat"))
        mark, _ = program.wait_page("/134")
        self.record_calls(program)
        program.click("#agree")
        mark, _ = program.wait_page(self.service.software + "start.php", mark)
        before = program.mark()
        program.click("#start_analyze")
        program.wait_event("remeasure-started", after=before)
        _, ended = program.wait_event("remeasure-ended", after=before, timeout=120)
        self.assertTrue(ended["ok"], ended)
        self.assertIn("> Running: Processor Performance Assessment", ended["output"])
        mark, handled = program.wait_page(self.service.software + "result_20.php", mark)
        self.check_filled(program, windows, handled["url"])
        self.assertTrue(program.dom("document.getElementById('system_information').textContent")
                        .startswith("Windows 7 (demonstration"))
        self.shot(program, "11-measured-again")

        # Without the tool the measurement fails visibly and the page stays.
        os.remove(os.path.join(program.workdir, "bin", "winsat"))
        program.click("#home")
        mark, _ = program.wait_page(self.service.software + "start.php", mark)
        before = program.mark()
        program.click("#start_analyze")
        message = self.wait_message(program, before)
        self.assertEqual(message["text"], "Failed to re-measurement.")
        program.answer_message("Return")
        program.wait_event("answer", after=before)
        self.assertIn("start.php", program.dom("location.href"))

    def test_links_and_input_at_a_larger_scale(self):
        self.start_service()
        windows = self.windows_dir()
        program = self.start(windows=windows, extra_env={"QT_SCALE_FACTOR": "1.5"})
        mark, handled = program.wait_page("/134")
        self.assertEqual(handled["dpr"], 1.5)
        self.assert_fitted(program, handled)
        # The agreement's link to the software page goes to the user's browser, not into the window.
        program.click("#about a")
        deadline = time.monotonic() + harness.WAIT
        while not program.opened_urls() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(program.opened_urls(), [self.service.software])
        self.assertIn("/134", program.dom("location.href"))
        self.record_calls(program)
        program.click("#agree")
        mark, _ = program.wait_page(self.service.software + "start.php", mark)
        program.click("#load_lastest_result")
        mark, handled = program.wait_page(self.service.software + "result_20.php", mark)
        self.check_filled(program, windows, handled["url"])
        self.shot(program, "12-result-144dpi")

    def test_right_button_and_ctrl_wheel_never_reach_the_page(self):
        # Real X11 input: events sent through the debugging port would go around the window.
        self.start_service()
        program = self.start(windows=self.windows_dir())
        program.wait_page("/134")
        program.settle()
        program.dom(INPUT_SPY)
        box = "document.getElementById('agreement')"
        # The agreement's box scrolls with a scroll bar of its own; the view has none.
        self.assertLess(program.dom(f"{box}.clientWidth"), program.dom(f"{box}.offsetWidth") - 2)
        program.dom("document.body.style.height = '3000px'")
        self.assertEqual(program.dom("document.documentElement.clientWidth"), program.dom("window.innerWidth"))
        program.dom("document.body.style.height = ''")
        window = program.find_main_window()
        x, y = (str(int(v)) for v in program.element_center("#agreement"))
        program.xdotool("mousemove", "--window", window, x, y)
        program.xdotool("click", "3")
        program.xdotool("keydown", "ctrl")
        program.xdotool("click", "4")
        program.xdotool("click", "5")
        program.xdotool("keyup", "ctrl")
        # The wheel alone scrolls the box as usual, and a left click arrives: input does reach
        # the page, only those two never do.
        program.xdotool("click", "5")
        program.xdotool("click", "1")
        deadline = time.monotonic() + harness.WAIT
        while "mouseup:0" not in program.dom("window.__seen") and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(program.dom("window.__seen"), ["wheel:0", "mousedown:0", "mouseup:0"])
        self.assertGreater(program.dom(f"{box}.scrollTop"), 0)
        self.assertEqual(program.dom("window.devicePixelRatio"), 1)
        self.assertIsNone(program.process.poll())

    def test_pages_elsewhere_run_no_command_and_get_no_record(self):
        self.start_service()
        program = self.start(windows=self.windows_dir())
        mark, _ = program.wait_page("/134")
        self.record_calls(program)
        program.click("#agree")
        mark, _ = program.wait_page(self.service.software + "start.php", mark)
        # The same service under another host name is not the service the program was given.
        elsewhere = self.service.software.replace("127.0.0.1", "localhost")
        before = len(self.stored_shares())
        program.devtools().call("Page.navigate", url=elsewhere + "result_profile_20.php")
        mark, handled = program.wait_page(elsewhere + "result_profile_20.php", mark)
        self.assertEqual(program.dom("window.__calls"), [], "no record for a page elsewhere")
        for command in ("#share", "#home"):
            clicked = program.mark()
            program.click(command)
            program.wait_event("click", lambda e: e["id"] == command[1:], clicked)
        time.sleep(1.0)
        self.assertFalse([e for e in program.events()[mark:] if e["event"] == "arrived"], "nothing navigated")
        self.assertEqual(len(self.stored_shares()), before, "nothing was shared")

    def test_fitting_across_two_monitors(self):
        """The window on a second monitor below the first one's top edge, off-screen with a screen
        layout of our own (Xvfb here gives Qt one monitor whatever its screens)."""
        self.start_service()
        windows = self.windows_dir()
        left, top = 1600, 300

        def run(name, width, height, dpi):
            config = os.path.join(self.work.path, name + ".json")
            with open(config, "w") as out:
                json.dump({"screens": [
                    {"name": "WIDE", "x": 0, "y": 0, "width": 1600, "height": 1200, "logicalDpi": 96},
                    {"name": name, "x": left, "y": top, "width": width, "height": height, "logicalDpi": dpi}]},
                    out)
            # A session of its own each: the first run may still hold its instance lock.
            return self.start(windows=windows, x11=False, offscreen_config=config,
                              runtime_dir=self.work.sub("runtime-" + name),
                              args=["-qwindowgeometry", f"640x320+{left + 50}+{top + 50}"])

        def frame(handled):
            x, y, size = handled["frame"].split(",")
            w, h = size.split("x")
            return int(x), int(y), int(w), int(h)

        # 1024 by 600 at 96 dots per inch: the window is centred in the work area; the agreement
        # fits below its top, the taller result page is moved up so its bottom lies on the bottom.
        program = run("SMALL", 1024, 600, 96)
        mark, handled = program.wait_page("/134")
        self.assert_fitted(program, handled)
        x, y, w, h = frame(handled)
        self.assertEqual(x, left + (1024 - w) // 2)
        margin_h = h - int(handled["client"].split("x")[1])
        centred = top + (600 - (320 + margin_h)) // 2
        self.assertLess(centred + h, top + 600, "the agreement page fits where the window was")
        self.assertEqual(y, centred)
        program.click("#agree")
        mark, _ = program.wait_page(self.service.software + "start.php", mark)
        program.click("#load_lastest_result")
        mark, handled = program.wait_page(self.service.software + "result_20.php", mark)
        self.assert_fitted(program, handled)
        x2, y2, w2, h2 = frame(handled)
        self.assertEqual(x2, x, "the left edge stays")
        self.assertEqual(y2 + h2, top + 600, "the bottom on the work area's bottom")

        # 1200 by 600 device pixels at 144 dots per inch: the agreement page, 1.5 times its size,
        # is taller than the work area: the window's top is on the monitor's top edge.
        program = run("SCALED", 1200, 600, 144)
        mark, handled = program.wait_page("/134")
        self.assertEqual(handled["dpr"], 1.5)
        self.assert_fitted(program, handled)
        x, y, w, h = frame(handled)
        self.assertEqual(y, top)
        self.assertGreater(h * 1.5, 600)

SKIPPED = 77  # ctest's SKIP_RETURN_CODE for this test

if __name__ == "__main__":
    if not service_command():
        print("skipped: the web service (tallyhive-service) is not part of this build")
        sys.exit(SKIPPED)
    unittest.main(verbosity=2)
