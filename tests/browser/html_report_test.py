#!/usr/bin/python3
"""The HTML report in a real browser: headless Chromium driven by Selenium.

    /usr/bin/python3 tests/browser/html_report_test.py \
        --tarnwick build/tarnwick --tools build/e2e-tools --out build/browser

Each test makes a page with tarnwick (and the JSON report of the same run) in
a temporary folder, opens it in Chromium and checks what a person sees and
can do there. The screenshots of the example run and the timings of a page
of 10,000 findings are written to --out. Ends with status 1 when a check
fails.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OPTIONS = None  # the command line, read in main()
CHROMIUM_FLAGS = [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--hide-scrollbars",
]

# Every row of the findings table as [class, log, line, text], and the
# counters as the page shows them, read in one call.
READ_FINDINGS = """
return Array.prototype.map.call(document.getElementById('findings').tBodies, function (row) {
  return [row.className, row.querySelector('.log').textContent,
          Number(row.querySelector('td.n').textContent), row.querySelector('.txt').textContent];
});"""
READ_COUNTS = """
var counts = {};
document.querySelectorAll('tspan[id^="count-"]').forEach(function (e) {
  counts[e.id.slice(6)] = Number(e.textContent.replace(/,/g, ''));
});
return counts;"""
VISIBLE_ROWS = """
return Array.prototype.filter.call(document.getElementById('findings').tBodies, function (row) {
  return row.offsetParent !== null;
}).map(function (row) { return Number(row.querySelector('td.n').textContent); });"""


class Browser:
    """One headless Chromium for all the tests, in a profile of its own."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="tarnwick-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = OPTIONS.chromium
        for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + self.profile]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service(OPTIONS.chromedriver), options=options)
        self.driver.set_window_size(1200, 900)

    def open(self, path):
        """Loads the page and returns what its console said meanwhile."""
        self.driver.get_log("browser")
        self.driver.get("file://" + path)
        return self.driver.get_log("browser")

    def close(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)


BROWSER = None


def run_tarnwick(folder, args, status=None):
    """Runs tarnwick in folder; returns its exit status."""
    done = subprocess.run([OPTIONS.tarnwick] + args, cwd=folder, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, check=False)
    if status is not None and done.returncode != status:
        raise AssertionError("tarnwick %s ended with %d" % (" ".join(args), done.returncode))
    return done.returncode


class PageTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tarnwick-browser-")
        self.driver = BROWSER.driver
        self.driver.set_window_size(1200, 900)
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "", "features": []})

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())

    def make_page(self, args, status=None):
        """Runs tarnwick with -html and -json; returns the JSON report."""
        run_tarnwick(self.folder, ["-html", "report.html", "-json", "report.json"] + args, status)
        with open(self.path("report.json"), encoding="utf-8") as f:
            return json.load(f)

    def open_page(self):
        console = BROWSER.open(self.path("report.html"))
        self.assertEqual(console, [], "the page's console")

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def shown(self):
        return self.driver.find_element(By.ID, "shown").text

    def assert_matches_json(self, report, texts=True):
        """The page shows the run as the JSON report of the same run does
        (the texts too, unless they hold bytes the two show differently)."""
        counts = self.js(READ_COUNTS)
        for name in ("success", "failure", "ignore", "summary", "unmatched"):
            self.assertEqual(counts[name], report["counts"][name], name)
        if report["copies"]:
            self.assertEqual(counts["copied"], report["counts"]["copied"])
            self.assertEqual(counts["copyfail"], report["counts"]["copyFail"])
        expected = [[f["class"], f["log"], f["line"], f["text"]] for f in report["findings"]]
        shown = self.js(READ_FINDINGS)
        if not texts:
            expected = [row[:3] for row in expected]
            shown = [row[:3] for row in shown]
        self.assertEqual(shown, expected)
        logs = self.js("""return Array.prototype.map.call(
            document.querySelectorAll('#log-table tbody tr'), function (row) {
              return [row.cells[0].textContent, Number(row.cells[1].textContent.replace(/,/g, ''))];
            });""")
        self.assertEqual(logs, [[log["path"], log["lines"]] for log in report["logs"]])
        verdict = self.driver.find_element(By.ID, "verdict-text").text
        self.assertEqual(verdict, "Passed" if report["status"] == 0 else "Failed")
        if report["error"] is not None:
            self.assertEqual(self.driver.find_element(By.ID, "fatal").text, report["error"])
        omitted = self.driver.find_elements(By.ID, "omitted")
        if report["omittedUnmatched"]:
            self.assertTrue(omitted[0].text.startswith("{:,} more unmatched".format(
                report["omittedUnmatched"])), omitted[0].text)
        else:
            self.assertEqual(omitted, [])


class ExamplePageTest(PageTest):
    """The bundled example: tarnwick -html report.html -log examples/build.log"""

    def setUp(self):
        super().setUp()
        os.mkdir(self.path("examples"))
        shutil.copy(os.path.join(REPO, "examples", "build.log"), self.path("examples"))
        with open(self.path("examples/build.log"), encoding="utf-8") as f:
            self.log_lines = f.read().split("\n")
        self.report = self.make_page(["-log", "examples/build.log"], status=0)
        self.open_page()

    def test_shows_what_the_json_report_holds(self):
        self.assert_matches_json(self.report)

    def test_filter_buttons_and_search(self):
        findings = [f["line"] for f in self.report["findings"]]
        failures = [f["line"] for f in self.report["findings"] if f["class"] == "failure"]
        unmatched = [f["line"] for f in self.report["findings"] if f["class"] == "unmatched"]
        self.assertEqual(self.shown(), "Showing all %d" % len(findings))
        button = {name: self.driver.find_element(By.CSS_SELECTOR, "button[data-filter=%s]" % name)
                  for name in ("all", "failure", "unmatched")}
        for name, lines in (("failure", failures), ("unmatched", unmatched), ("all", findings)):
            button[name].click()
            self.assertEqual(self.js(VISIBLE_ROWS), lines, name)
            self.assertEqual(button[name].get_attribute("aria-pressed"), "true")
        search = self.driver.find_element(By.ID, "search")
        search.send_keys("PACKAGER")  # case does not matter
        WebDriverWait(self.driver, 5).until(lambda d: self.js(VISIBLE_ROWS) == [1, 27])
        self.assertEqual(self.shown(), "Showing 2 of %d" % len(findings))
        button["failure"].click()  # both at once
        self.assertEqual(self.js(VISIBLE_ROWS), [])
        button["unmatched"].click()
        self.assertEqual(self.js(VISIBLE_ROWS), [1, 27])
        search.send_keys(Keys.ESCAPE)
        WebDriverWait(self.driver, 5).until(lambda d: self.js(VISIBLE_ROWS) == unmatched)
        # "/" goes to the search box.
        self.js("document.activeElement.blur()")
        ActionChains(self.driver).send_keys("/").perform()
        self.assertEqual(self.driver.switch_to.active_element, search)

    def test_each_finding_opens_to_the_lines_around_it(self):
        rows = self.driver.find_elements(By.CSS_SELECTOR, "#findings tbody")
        for row, finding in zip(rows, self.report["findings"]):
            button = row.find_element(By.CSS_SELECTOR, "button.open")
            self.assertEqual(row.find_elements(By.CLASS_NAME, "view"), [])
            button.click()
            view = row.find_element(By.CLASS_NAME, "view")
            self.assertTrue(view.is_displayed())
            self.assertEqual(button.get_attribute("aria-expanded"), "true")
            lines = view.find_elements(By.CLASS_NAME, "cl")
            numbers = [int(e.get_attribute("data-n")) for e in lines]
            line = finding["line"]
            self.assertEqual(numbers, [n for n in range(line - 3, line + 4)
                                       if 1 <= n <= len(self.log_lines) - 1])
            for e, number in zip(lines, numbers):
                self.assertEqual(e.text.strip(), self.log_lines[number - 1].strip())
                self.assertEqual("hit" in e.get_attribute("class").split(), number == line)
            rule = [r.text for r in row.find_elements(By.CLASS_NAME, "rule") if r.is_displayed()]
            self.assertEqual(rule, ["Rule " + finding["rule"]] if finding["rule"] else [])
            button.click()
            self.assertFalse(view.is_displayed())
            self.assertEqual(button.get_attribute("aria-expanded"), "false")
        # The line's class shows in the context: the failure is marked there.
        self.assertEqual(self.js("return document.querySelectorAll('.view .cl.failure').length"), 1)
        expand = self.driver.find_element(By.ID, "expand")
        expand.click()
        views = self.driver.find_elements(By.CLASS_NAME, "view")
        self.assertEqual(len(views), len(rows))
        self.assertTrue(all(v.is_displayed() for v in views))
        self.assertEqual(expand.text, "Collapse all")
        expand.click()
        self.assertFalse(any(v.is_displayed() for v in views))

    def test_light_dark_phone_and_print(self):
        out = OPTIONS.out
        failure = self.driver.find_elements(By.CSS_SELECTOR, "#findings tbody.failure button")[0]
        failure.click()
        self.save_full_page(os.path.join(out, "report.png"), 1100)
        light = self.js("return getComputedStyle(document.body).backgroundColor")
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        dark = self.js("return getComputedStyle(document.body).backgroundColor")
        self.assertNotEqual(light, dark)
        self.save_full_page(os.path.join(out, "report-dark.png"), 1100)
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
        # A phone: nothing wider than the screen.
        self.save_full_page(os.path.join(out, "report-phone.png"), 390)
        self.assertLessEqual(self.js("return document.documentElement.scrollWidth"),
                             self.js("return window.innerWidth"))
        # Print: no controls, and a PDF comes out.
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "print"})
        self.assertFalse(self.driver.find_element(By.ID, "toolbar").is_displayed())
        self.assertTrue(self.driver.find_element(By.ID, "findings").is_displayed())
        pdf = self.driver.execute_cdp_cmd("Page.printToPDF", {})
        self.assertGreater(len(pdf["data"]), 1000)

    def save_full_page(self, path, width):
        self.driver.set_window_size(width, 900)
        height = self.js("return document.documentElement.scrollHeight")
        self.driver.set_window_size(width, min(height + 140, 4000))
        self.driver.save_screenshot(path)


class HostilePageTest(PageTest):
    """Log lines written to break the page stay text and change nothing."""

    HOSTILE = [
        b"E1: <script>window.pwned = 1</script>",
        b"E2: \"><img src=x onerror=\"window.pwned = 2\">",
        b"E3: </script><script>window.pwned = 3</script>",
        b"E4: <!-- <svg onload=\"window.pwned = 4\">",
        b"E5: ' onmouseover='window.pwned = 5' x='",
        b"E6: bad \xff\xc0 bytes \xed\xa0\x80 and \x01\x1b controls",
        b"E7: ]]> --> \xe2\x80\xa8 </details></td></tr></tbody></table><b>bold</b>",
    ]
    SHOWN = [
        "E1: <script>window.pwned = 1</script>",
        "E2: \"><img src=x onerror=\"window.pwned = 2\">",
        "E3: </script><script>window.pwned = 3</script>",
        "E4: <!-- <svg onload=\"window.pwned = 4\">",
        "E5: ' onmouseover='window.pwned = 5' x='",
        "E6: bad \ufffd\ufffd bytes \ufffd\ufffd\ufffd and \u2401\u241b controls",
        "E7: ]]> --> \u2028 </details></td></tr></tbody></table><b>bold</b>",
    ]
    HUGE = 100 << 20

    def make_log(self, lines):
        huge = b"E8: " + b"x" * self.HUGE
        self.write("build.log", b"\n".join([b"I00020110: start"] + lines + [huge, b"I00060080: end"]) +
                   b"\n")

    def test_hostile_lines_are_only_text(self):
        # The same log with harmless text gives the page the elements to expect.
        self.make_log([b"E%d: harmless" % (i + 1) for i in range(len(self.HOSTILE))])
        self.make_page(["-log", "build.log"], status=0)
        self.open_page()
        elements = self.js("return document.getElementsByTagName('*').length")

        self.make_log(self.HOSTILE)
        report = self.make_page(["-log", "build.log"], status=0)
        self.open_page()
        self.assert_matches_json(report, texts=False)
        self.assertIsNone(self.js("return window.pwned"))
        self.assertEqual(self.js("return document.getElementsByTagName('*').length"), elements)
        self.assertEqual(self.js("return document.scripts.length"), 1)
        self.assertEqual(self.js("return document.images.length"), 0)
        self.assertEqual(self.js("return document.querySelectorAll('.txt *, pre.ctx *').length"), 0)
        texts = [row[3] for row in self.js(READ_FINDINGS)]
        self.assertEqual(texts[:len(self.SHOWN)], self.SHOWN)
        # Opening the rows runs nothing either, and adds only the lines.
        for button in self.driver.find_elements(By.CSS_SELECTOR, "#findings button.open"):
            button.click()
        self.assertEqual(self.js("return document.querySelectorAll('.cl *:not(.cut)').length"), 0)
        self.assertIsNone(self.js("return window.pwned"))
        self.assertEqual(BROWSER.driver.get_log("browser"), [])
        # The 100 MB line: its first 4,096 bytes and a note that it was cut.
        huge = self.driver.find_elements(By.CSS_SELECTOR, "#findings tbody")[-1]
        self.assertEqual(huge.find_element(By.CLASS_NAME, "txt").text, "E8: " + "x" * 4092)
        self.assertEqual(huge.find_element(By.CSS_SELECTOR, "button.open .cut").text,
                         "\u2026 cut: 4,096 of {:,} bytes shown".format(self.HUGE + 4))
        self.assertLess(os.path.getsize(self.path("report.html")), 200 << 10)


class LargePageTest(PageTest):
    """A page of 10,000 findings and more is usable within 2 s."""

    def test_ten_thousand_findings(self):
        lines = []
        for i in range(16000):
            if i % 60 == 7:
                lines.append("E%d: error in src/module%d/file%d.cpp: something went wrong" % (i, i % 13, i))
            elif i % 3 == 0:
                lines.append("I00060040: compiling src/module%d/file%d.cpp" % (i % 13, i))
            else:
                lines.append("warning: src/module%d/file%d.cpp:%d: unused variable 'v%d'" % (i % 13, i, i, i))
        lines.append("I00060080: done")
        self.write("build.log", "\n".join(lines) + "\n")
        report = self.make_page(["-log", "build.log"], status=0)
        rows = len(report["findings"])
        self.assertGreaterEqual(rows, 10000)
        self.assertGreater(report["omittedUnmatched"], 0)

        timings = []
        for _ in range(5):  # the best of five: the machine may be busy
            self.open_page()
            load = self.js("return performance.getEntriesByType('navigation')[0].loadEventEnd")
            paint = self.js("""var p = performance.getEntriesByName('first-contentful-paint');
                               return p.length ? p[0].startTime : null;""")
            filtering = self.driver.execute_async_script("""
                var done = arguments[arguments.length - 1];
                var start = performance.now();
                document.querySelector('button[data-filter="failure"]').click();
                requestAnimationFrame(function () {
                  setTimeout(function () { done(performance.now() - start); }, 0);
                });""")
            searching = self.driver.execute_async_script("""
                var done = arguments[arguments.length - 1];
                var search = document.getElementById('search');
                var shown = document.getElementById('shown');
                var before = shown.textContent;
                var start = performance.now();
                search.value = 'module7/';
                search.dispatchEvent(new Event('input'));
                (function wait() {
                  if (shown.textContent !== before) {
                    requestAnimationFrame(function () { done(performance.now() - start); });
                  } else {
                    setTimeout(wait, 5);
                  }
                })();""")
            timings.append((load + filtering, load, paint, filtering, searching))
        best = min(timings)
        summary = ("10,000 findings page ({:,} rows, {:,} bytes): usable after {:.0f} ms "
                   "(loaded {:.0f} ms, first paint {:.0f} ms, class filter {:.0f} ms), "
                   "search {:.0f} ms; best of {}".format(
                       rows, os.path.getsize(self.path("report.html")), best[0], best[1],
                       best[2] or 0, best[3], best[4], len(timings)))
        print("\n" + summary, file=sys.stderr)
        with open(os.path.join(OPTIONS.out, "timings.txt"), "w") as f:
            f.write(summary + "\n")
        self.assertLess(best[0], 2000, summary)

        # And it still shows what the JSON report holds.
        self.js("document.getElementById('search').value = ''; "
                "document.querySelector('button[data-filter=\"all\"]').click();")
        self.assert_matches_json(report)
        self.assertEqual(self.shown(), "Showing all {:,}".format(rows))


class ExecPageTest(PageTest):
    """Exec mode: the command, the tool's exit code, copies and listing files."""

    def test_exec_run_with_copies_and_listings(self):
        base = self.path("build") + os.sep
        drop = self.path("drop") + os.sep
        os.mkdir(base)
        os.mkdir(drop)
        for name in ("a.dll", "b.dll"):
            self.write(os.path.join("build", name), name)
        self.write(os.path.join("drop", "b.dll"), "already there")
        self.write("rules.xml", """<?xml version="1.0"?>
<tarnwick basedir="{base}">
  <ignore>^I00060040:</ignore>
  <success>^I00020110:</success>
  <failure>^E[0-9]+:</failure>
  <summary>^I00060080:</summary>
  <copy dst="{drop}">^Built (.+)$</copy>
  <list file="built.lst">^Built (.+)$</list>
</tarnwick>
""".format(base=base, drop=drop))
        tool = os.path.join(OPTIONS.tools, "watched_tool")
        words = [tool, "logline:I00020110: start", "logline:Built %sa.dll" % base,
                 "logline:Built %sb.dll" % base, "logline:E7: <b>late</b>",
                 "logline:I00060080: end", "-o", "tool.log", "exit:3"]
        report = self.make_page(["-cfg", "rules.xml", "-exec"] + words, status=1)
        self.open_page()
        self.assert_matches_json(report)
        self.assertEqual(self.driver.find_element(By.ID, "command").text, report["tool"]["command"])
        self.assertEqual(self.driver.find_element(By.ID, "exit-code").text, "3")
        failed = [c for c in report["copies"] if not c["ok"]]
        shown = self.js("""return Array.prototype.map.call(
            document.querySelectorAll('#failed-copies tbody tr'), function (row) {
              return Array.prototype.map.call(row.cells, function (c) { return c.textContent; });
            });""")
        self.assertEqual(shown, [[c["from"], c["to"], c["error"]] for c in failed])
        listings = self.js("""return Array.prototype.map.call(
            document.querySelectorAll('#listings tbody tr'), function (row) {
              return [row.cells[0].textContent, Number(row.cells[1].textContent)];
            });""")
        self.assertEqual(listings, [[l["path"], l["entries"]] for l in report["listings"]])


def main():
    global OPTIONS, BROWSER
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tarnwick", required=True)
    parser.add_argument("--tools", required=True, help="the folder of the end-to-end tools")
    parser.add_argument("--out", required=True, help="where screenshots and timings go")
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    parser.add_argument("--chromedriver", default="/usr/bin/chromedriver")
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.tarnwick = os.path.abspath(OPTIONS.tarnwick)
    OPTIONS.tools = os.path.abspath(OPTIONS.tools)
    OPTIONS.out = os.path.abspath(OPTIONS.out)
    os.makedirs(OPTIONS.out, exist_ok=True)
    started = time.monotonic()
    BROWSER = Browser()
    try:
        result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    finally:
        BROWSER.close()
    print("browser tests: %.1f s" % (time.monotonic() - started), file=sys.stderr)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
