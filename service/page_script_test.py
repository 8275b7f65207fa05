#!/usr/bin/env python3
"""The result pages' bar functions in a real browser engine (headless Chromium), called as the program
calls them: bars proportional to the score within its Windows version's range, fitting the width the
program gives, at 96 and 144 DPI; and every argument taken as data, never as markup.

usage: page_script_test.py PATH-TO-tallyhive-service
Exits 77 (skipped) when no Chromium is installed.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.request

PROGRAM = None
BROWSER = shutil.which("chromium") or shutil.which("chromium-browser")

# The program's calls on the result page (five bars with their descriptions, then the system texts)
# and on the profile page (five bars, the system bar, the system text, updateBarValue).
BARS = [("#cpu_score", "#F51D90", "cpu_information"), ("#memory_score", "#FFB326", "memory_information"),
        ("#gpu_score", "#BFDE56", "gpu_information"), ("#game_score", "#38BEFF", "game_information"),
        ("#disk_score", "#BF1DFF", "disk_information")]


def host_calls(page, scores, system, machine, width):
    calls = []
    for (selector, colour, description), score in zip(BARS, scores[1:]):
        calls.append("setBarValue(%s, %s, %s, %s);" % tuple(json.dumps(a) for a in (selector, score, colour, width)))
        calls.append("document.getElementById(%s).textContent = 'desc';" % json.dumps(description))
    if page == "result_profile_20.php":
        calls.append("setBarValue('#system_score', %s, '#515151', %s);" % (json.dumps(scores[0]), json.dumps(width)))
        calls.append("document.getElementById('system_information').innerHTML = %s;" %
                     json.dumps(machine + " (" + system + ")"))
        calls.append("updateBarValue(%s);" % json.dumps(width))
    else:
        calls.append("document.getElementById('system_score').innerHTML = %s;" % json.dumps(scores[0]))
        calls.append("document.getElementById('system_information').innerHTML = %s;" % json.dumps(system))
        calls.append("document.getElementById('machine_information').innerHTML = %s;" % json.dumps(machine))
    return "\n".join(calls)


# Runs after the page has loaded, like the program's calls, then reports what the page drew.
HARNESS = """<script>
window.addEventListener('load', function () {
  var out = {};
  try {
%s
  } catch (e) { out.error = String(e); }
  setTimeout(function () {
    out.bars = {};
    document.querySelectorAll('.bar').forEach(function (bar) {
      var fill = bar.querySelector('.fill');
      var left = fill.getBoundingClientRect().left;
      out.bars[bar.id] = {width: parseFloat(fill.style.width || '0'), left: left,
                          colour: fill.style.backgroundColor, text: bar.querySelector('.value').textContent};
    });
    out.scrollWidth = document.documentElement.scrollWidth;
    out.images = document.images.length;
    out.hacked = !!window.hacked;
    var pre = document.createElement('pre');
    pre.id = 'harness_out';
    pre.textContent = JSON.stringify(out);
    document.body.appendChild(pre);
  }, 600);
});
</script>"""


class Service:
    def __init__(self):
        self.data = tempfile.mkdtemp(prefix="tallyhive-page-")
        self.log = open(os.path.join(self.data, "service.log"), "w")
        self.process = subprocess.Popen([PROGRAM, "--port", "0", "--data", self.data],
                                        stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.port = int(self.process.stdout.readline().split()[0])

    def page(self, name, language):
        url = "http://127.0.0.1:%d/software/tallyhive/%s?lang=%s" % (self.port, name, language)
        with urllib.request.urlopen(url, timeout=10) as response:
            return response.read().decode("utf-8")

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=15)
        self.process.stdout.close()
        self.log.close()
        shutil.rmtree(self.data, ignore_errors=True)


def render(html, width, scale, folder):
    path = os.path.join(folder, "page.html")
    with open(path, "w", encoding="utf-8") as f:
        f.write(html)
    out = subprocess.run(
        [BROWSER, "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
         "--window-size=%d,700" % width, "--force-device-scale-factor=%s" % scale,
         "--virtual-time-budget=3000", "--dump-dom", "file://" + path],
        capture_output=True, text=True, timeout=120)
    found = re.search(r'<pre id="harness_out">(.*?)</pre>', out.stdout, re.S)
    if not found:
        raise AssertionError("no result from the page: " + out.stderr[-2000:])
    return json.loads(found.group(1).replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&"))


class BarScriptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.service = Service()
        cls.pages = {(name, language): cls.service.page(name, language)
                     for name in ("result_20.php", "result_profile_20.php") for language in ("en", "ja")}
        cls.folder = tempfile.mkdtemp(prefix="tallyhive-render-")

    @classmethod
    def tearDownClass(cls):
        cls.service.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def run_page(self, page, calls, width, scale=1, language="en"):
        html = self.pages[(page, language)].replace("</body>", HARNESS % calls + "</body>")
        return render(html, width, scale, self.folder)

    def test_bars_follow_the_score_range_and_fit_the_width(self):
        cases = [
            # page, language, scores (system first), system, machine, window width, scale, range
            ("result_20.php", "en", ["3.9", "7.9", "3.95", "5.9", "7.9", "1.0"], "Windows 7 Ultimate", "Acme",
             800, 1, 7.9),
            ("result_20.php", "ja", ["3.9", "7.9", "3.95", "5.9", "7.9", "1.0"], "Windows 7 Ultimate", "Acme",
             640, 1.5, 7.9),
            ("result_profile_20.php", "en", ["5.9", "5.9", "2.95", "5.9", "5.9", "5.9"],
             "Windows Vista (TM) Ultimate", "Acme (R) PC", 800, 1, 5.9),
            ("result_20.php", "en", ["7.9", "9.9", "4.95", "7.9", "7.9", "8.1"], "Windows 10 Pro", "Acme", 1200,
             1, 9.9),
            ("result_profile_20.php", "ja", ["7.9", "9.9", "4.95", "7.9", "7.9", "8.1"], "Windows 8 Pro",
             "Windows 7 Lab PC", 560, 1.5, 9.9),
            # No system named (yet): the narrowest range that holds every score.
            ("result_20.php", "en", ["6.0", "7.9", "3.95", "5.9", "7.0", "1.0"], "", "Acme", 800, 1, 7.9),
            ("result_20.php", "en", ["5.0", "5.9", "2.95", "5.9", "4.0", "1.0"], "", "Acme", 800, 1, 5.9),
        ]
        for page, language, scores, system, machine, width, scale, top in cases:
            with self.subTest(page=page, language=language, system=system, width=width, scale=scale):
                out = self.run_page(page, host_calls(page, scores, system, machine, "%.6f" % width), width, scale,
                                    language)
                self.assertNotIn("error", out)
                bars = out["bars"]
                full = bars["cpu_score"]["width"]
                self.assertGreater(full, 0)
                expected = {"cpu_score": scores[1], "memory_score": scores[2], "gpu_score": scores[3],
                            "game_score": scores[4], "disk_score": scores[5]}
                if page == "result_profile_20.php":
                    expected["system_score"] = scores[0]
                for bar, score in expected.items():
                    # Proportional within the range: the top score fills the longest bar.
                    self.assertAlmostEqual(bars[bar]["width"] / full * (float(scores[1]) / top),
                                           float(score) / top, delta=0.02, msg=bar)
                    self.assertEqual(bars[bar]["text"], score)
                    self.assertLessEqual(bars[bar]["left"] + bars[bar]["width"], width, bar + " overflows")
                # At a whole-range score, the longest bar uses a good part of the width.
                if float(scores[1]) == top:
                    self.assertGreater(full, (min(width, 980) - 270) * 0.9)
                self.assertEqual(bars["cpu_score"]["colour"], "rgb(245, 29, 144)")
                self.assertLessEqual(out["scrollWidth"], width, "the page is wider than the window")

    def test_arguments_are_data(self):
        hostile = '<img src=x onerror="window.hacked=1">'
        calls = "\n".join([
            "out.badSelector = setBarValue('###', '7.0', '#F51D90', '800.000000');",
            "out.missing = setBarValue('#no_such_bar', '7.0', '#F51D90', '800.000000');",
            "setBarValue('#cpu_score', %s, 'red;background-image:url(x)', '800.000000');" % json.dumps(hostile),
            "setBarValue('#memory_score', '7.0', %s, 'wide');" % json.dumps(hostile),
            "updateBarValue(%s);" % json.dumps(hostile),
        ])
        out = self.run_page("result_20.php", calls, 800)
        self.assertNotIn("error", out)
        self.assertIs(out["badSelector"], False)
        self.assertIs(out["missing"], False)
        self.assertEqual(out["bars"]["cpu_score"]["text"], hostile)
        self.assertEqual(out["bars"]["cpu_score"]["colour"], "")
        self.assertEqual(out["bars"]["memory_score"]["colour"], "")
        self.assertEqual(out["images"], 0)
        self.assertFalse(out["hacked"])


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    if not BROWSER:
        print("page_script_test: no Chromium installed, skipped")
        sys.exit(77)
    unittest.main(verbosity=2)
