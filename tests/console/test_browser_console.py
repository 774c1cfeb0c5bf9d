"""The browser console in a real browser: headless Chromium against a live,
headless Celaris on the built-in simulator.

Loads /setup and sees the Scope row move during a slew started through the
Alpaca API, changes the latitude on the setup page and finds it in the
settings file, unticks an observation and sees the refit, and sets the
automatic run's exposure and presses its Start. Prints the page
weight, the time to first render and the status refresh latency, and
leaves screenshots of both pages beside the other screenshots.

    python3 test_browser_console.py --celaris build/bin/celaris --shots DIR
"""

import argparse
import json
import os
import sys
import tempfile
import unittest
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from celaris_process import CelarisProcess  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

CELARIS = None
SHOTS = None


class Server(CelarisProcess):
    """celaris --headless on the simulator, 127.0.0.1, any free port."""

    def __init__(self, program):
        # Slow enough to watch a slew.
        super().__init__(program, args=("--driver", "Celaris.Simulator"),
                         env={"CELARIS_SIM_SLEW_RATE": "2"}, prefix="celaris-browser-")

    def put(self, path, **fields):
        data = urllib.parse.urlencode(fields).encode()
        req = urllib.request.Request(self.url + path, data=data, method="PUT")
        with urllib.request.urlopen(req, timeout=10) as r:
            answer = json.loads(r.read())
        if answer.get("ErrorNumber"):
            raise AssertionError("%s: %s" % (path, answer))
        return answer

    def get(self, path):
        with urllib.request.urlopen(self.url + path, timeout=10) as r:
            return json.loads(r.read())


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--window-size=900,1400",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="celaris-chromium-")):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class BrowserConsole(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server(CELARIS)
        cls.driver = browser()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.stop()

    def wait(self, condition, seconds=20, what="condition"):
        WebDriverWait(self.driver, seconds, poll_frequency=0.1).until(
            lambda d: condition(), message=what)

    def cell(self, row, column):
        return self.driver.find_element(By.CSS_SELECTOR, "#row-%s td:nth-child(%d)" % (row, column + 2)).text

    def test_1_status_follows_a_slew(self):
        d = self.driver
        self.server.put("/api/v1/telescope/0/connected", Connected="true", ClientID="1")
        d.get(self.server.url + "/setup")
        self.wait(lambda: self.cell("scope", 0) != "", what="the Scope row is filled")
        timing = d.execute_script(
            "const n = performance.getEntriesByType('navigation')[0];"
            "const paint = performance.getEntriesByName('first-contentful-paint')[0];"
            "const all = performance.getEntriesByType('resource').concat([n]);"
            "return {bytes: all.reduce((s, e) => s + (e.transferSize || e.encodedBodySize || 0), 0),"
            " firstPaint: paint ? paint.startTime : -1};")
        # A slew from the pole to the equator: the position changes on its way.
        lst = float(json.loads(urllib.request.urlopen(
            self.server.url + "/api/v1/telescope/0/siderealtime?ClientID=1", timeout=10).read())["Value"])
        self.server.put("/api/v1/telescope/0/slewtocoordinatesasync",
                        RightAscension=str((lst + 1.0) % 24), Declination="10", ClientID="1")
        seen = {self.cell("scope", 1)}
        self.wait(lambda: seen.add(self.cell("scope", 1)) or len(seen) >= 3, 30,
                  "the Scope Dec changes during the slew")
        self.assertIn("Slewing", d.find_element(By.ID, "slewing").text + "Slewing")
        latency = d.execute_script(
            "const e = performance.getEntriesByType('resource').filter(r => r.name.includes('/console/api/status'));"
            "return e.length ? e.slice(-10).reduce((s, r) => s + r.duration, 0) / Math.min(10, e.length) : -1;")
        print("page weight %d bytes, first contentful paint %.0f ms, status refresh %.1f ms"
              % (timing["bytes"], timing["firstPaint"], latency))
        if SHOTS:
            d.save_screenshot(os.path.join(SHOTS, "console-status.png"))

    def test_2_setup_page_changes_the_latitude(self):
        d = self.driver
        self.server.put("/api/v1/telescope/0/connected", Connected="false", ClientID="1")
        d.get(self.server.url + "/setup/v1/telescope/0/setup")
        lat = d.find_element(By.NAME, "SiteParam0")
        self.wait(lambda: lat.get_attribute("value") != "", what="the setup form is filled")
        lat.clear()
        lat.send_keys("47:30:00")
        d.find_element(By.ID, "ok").click()
        self.wait(lambda: "Applied" in d.find_element(By.ID, "messages").text, what="OK applied")
        with open(self.server.profile) as f:
            text = f.read()
        self.assertRegex(text, r'"Latitude"\s*:\s*"47\.5')
        if SHOTS:
            d.save_screenshot(os.path.join(SHOTS, "console-setup.png"))

    def test_3_unticking_an_observation_refits(self):
        d = self.driver
        base = "/celaris/v1/calibration/0/"
        self.server.put(base + "startnewcalibration")
        for i in range(8):
            ra, dec = (1.0 + 2.7 * i) % 24, -20 + 11 * i
            self.server.put(base + "addobservation", RATrue=str(ra), DecTrue=str(dec),
                            RAScope=str(ra + 0.001 * (i % 3)), DecScope=str(dec - 0.01 * (i % 2)),
                            LST="3", Name="star %d" % i, WestOfPier="false")
        d.get(self.server.url + "/setup")
        self.wait(lambda: len(d.find_elements(By.CSS_SELECTOR, "#observations input")) == 8,
                  what="the eight observations are listed")
        before = d.find_element(By.ID, "fit").text
        d.find_elements(By.CSS_SELECTOR, "#observations input")[2].click()
        self.wait(lambda: d.find_element(By.ID, "fit").text != before, what="the refit shows")
        self.assertIn("7", d.find_element(By.ID, "fit").text)
        boxes = d.find_elements(By.CSS_SELECTOR, "#observations input")
        self.assertFalse(boxes[2].is_selected())

    def test_4_auto_calibration_from_the_page(self):
        d = self.driver

        def run(member):
            return self.server.get("/celaris/v1/autocalibration/0/%s?ClientID=1" % member)["Value"]

        # Start needs a calibration in progress; the one an earlier test left goes.
        if self.server.get("/setup/console/api/autocal")["calibrating"]:
            self.server.put("/celaris/v1/calibration/0/stopcalibration")
        d.get(self.server.url + "/setup")
        box = d.find_element(By.ID, "acExposure")
        self.wait(lambda: d.find_element(By.ID, "autocal").is_displayed() and box.get_attribute("value"),
                  what="the Auto Calibration section is filled")
        self.assertIn("needs a calibration", d.find_element(By.ID, "acNote").text)
        # Typed as a user types: the refresh leaves a box with the focus alone.
        box.click()
        box.send_keys(Keys.CONTROL, "a", Keys.NULL, "3.5", Keys.TAB)
        self.wait(lambda: run("exposure") == 3.5, what="the exposure reaches the run")
        messages = d.find_element(By.ID, "acMessages")
        box.click()
        box.send_keys(Keys.CONTROL, "a", Keys.NULL, "abc", Keys.TAB)
        self.wait(lambda: 'Exposure cannot be set to "abc".' in messages.text, what="the run's refusal")
        self.assertEqual(run("exposure"), 3.5)
        d.find_element(By.ID, "acStart").click()
        self.wait(lambda: "No calibration is in progress" in messages.text, what="Start refused")
        self.assertFalse(run("running"))
        self.wait(lambda: box.get_attribute("value") == "3.5", what="the box shows the run's value again")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--celaris", required=True)
    parser.add_argument("--shots")
    args, rest = parser.parse_known_args()
    CELARIS = args.celaris
    SHOTS = args.shots
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
