#!/usr/bin/env python3
"""The line page in a real browser (headless chromium through Selenium) against a station
working simulated cards: a card plugged in shows working, then pass, without a reload; a card
whose write fails shows fail and why; the counts follow. A screenshot is kept beside the build.

Exits 77 (skipped) with a line saying why when chromium, its driver or Selenium is missing."""

import argparse
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
SKIPPED = 77
VALUES = "B_LOW=9\r\nMODE=2\r\nDEVICE_STATE_INFO=1026\r\n"


def skip_unless_browser():
    missing = [path for path in (CHROMIUM, CHROMEDRIVER) if not os.access(path, os.X_OK)]
    try:
        import selenium  # noqa: F401
    except ImportError:
        missing.append("python3-selenium")
    if missing:
        print("line page browser test skipped: missing " + ", ".join(missing))
        sys.exit(SKIPPED)


def lines_of(stream, into):
    for line in stream:
        into.put(line)
    into.put(None)


class Program:
    """A program left running, its standard output read line by line on a thread."""

    def __init__(self, args, env, stdin=None):
        self.process = subprocess.Popen(args, env=env, stdin=stdin, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.errors = []
        threading.Thread(target=lines_of, args=(self.process.stdout, self.lines),
                         daemon=True).start()
        threading.Thread(target=lambda: self.errors.extend(self.process.stderr),
                         daemon=True).start()

    def line_with(self, text, limit=60):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=deadline - time.monotonic())
            except queue.Empty:
                break
            if line is None:
                break
            if text in line:
                return line
        raise AssertionError(f"no line with {text!r} from {self.process.args[0]}: "
                             + "".join(self.errors))

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def sealed_setting_file(folder, carvexctl):
    values = folder / "values.txt"
    values.write_bytes(VALUES.encode())
    crc = subprocess.run([carvexctl, "crc", str(values)], check=True, capture_output=True,
                         text=True).stdout.split()[0]
    path = folder / "settings.ini"
    path.write_bytes(("[DATACARD_TYPE]\r\nVALUE=LW-X4201\r\n[DEFAULT]\r\n" + VALUES +
                      "[CRC]\r\nVALUE=" + crc + "\r\n").encode())
    return path


def main():
    parser = argparse.ArgumentParser()
    for option in ("carvexctl", "cardsim", "profile", "description", "artefacts"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    skip_unless_browser()

    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    artefacts = Path(args.artefacts)
    artefacts.mkdir(parents=True, exist_ok=True)
    folder = Path(tempfile.mkdtemp(prefix="line-page-"))
    programs = []
    driver = None
    try:
        env = dict(os.environ)
        env.update({"CARVEX_ROOT": str(folder / "root"),
                    "XDG_STATE_HOME": str(folder / "state"),
                    "XDG_CONFIG_HOME": str(folder / "config"),
                    "CARVEX_CONFIG": str(folder / "carvex"),
                    "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + str(folder / "no-bus")})
        # Card 2 does not take NV item writes. Both are pulled out until the page is open.
        cards = Program([args.cardsim, "--profile", args.profile, "--root", str(folder / "root"),
                         "--state", str(folder / "card.nv"), "--cards", "2",
                         "--fault", "2:nv_write:nv_status:7"], env, stdin=subprocess.PIPE)
        programs.append(cards)
        cards.line_with("Use it with")

        def card_command(command):
            cards.process.stdin.write(command + "\n")
            cards.process.stdin.flush()
            cards.line_with("ok")

        card_command("unplug 1")
        card_command("unplug 2")

        station = Program([args.carvexctl, "station",
                           str(sealed_setting_file(folder, args.carvexctl)),
                           "--description", args.description,
                           "--records", str(folder / "records.db"), "--station", "line-7",
                           "--operator", "Ana", "--json", "--http", "127.0.0.1:0"], env)
        programs.append(station)
        url = json.loads(station.line_with("the line page is at"))["text"].split(" at ")[1]

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                         "--window-size=1280,900"):
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        driver.get(url)
        wait = WebDriverWait(driver, 120, poll_frequency=0.05)
        wait.until(lambda d: d.find_element(By.ID, "link").text == "live")
        assert driver.find_element(By.ID, "station").text == "line-7"
        assert driver.find_element(By.ID, "setting-file").text == "settings.ini"
        # Gone if the page were loaded again.
        driver.execute_script("window.loadedOnce = true;")

        def tile_state(port):
            return lambda d: d.find_element(By.ID, "slot-" + port).get_attribute("data-state")

        def word(port):
            return driver.find_element(By.CSS_SELECTOR, f"#slot-{port} .word").text

        card_command("replug 1")
        wait.until(lambda d: tile_state("COM12")(d) == "working")
        assert word("COM12") == "working", word("COM12")
        wait.until(lambda d: tile_state("COM12")(d) in ("pass", "fail"))
        assert tile_state("COM12")(driver) == "pass", driver.find_element(By.ID, "slot-COM12").text
        assert word("COM12") == "pass"
        assert "COM12 / COM13" in driver.find_element(By.ID, "slot-COM12").text

        card_command("replug 2")
        wait.until(lambda d: tile_state("COM22")(d) in ("pass", "fail"))
        assert word("COM22") == "fail"
        reason = driver.find_element(By.CSS_SELECTOR, "#slot-COM22 .text").text
        assert reason == "failed at writing: the card did not take NV item 60000", reason

        def count(group, name):
            return driver.find_element(By.CSS_SELECTOR,
                                       f"#{group} [data-count='{name}']").text

        wait.until(lambda d: count("run", "failed") == "1")
        assert count("run", "passed") == "1"
        assert count("day", "passed") == "1" and count("day", "failed") == "1"
        assert driver.find_element(By.ID, "per-hour").text == "2"
        rows = driver.find_elements(By.CSS_SELECTOR, "#records tr")
        assert len(rows) == 2, len(rows)
        assert "failed at writing" in rows[0].text and rows[1].text.endswith("ok"), \
            [row.text for row in rows]
        assert driver.execute_script("return window.loadedOnce === true;"), "the page reloaded"

        screenshot = artefacts / "line_page.png"
        driver.save_screenshot(str(screenshot))
        print("screenshot: " + str(screenshot))

        station.process.send_signal(signal.SIGTERM)
        assert station.process.wait(timeout=60) == 1, "a card failed: exit 1"
        wait.until(lambda d: d.find_element(By.ID, "link").text == "reconnecting")
        print("line page browser test passed")
    finally:
        if driver is not None:
            driver.quit()
        for program in programs:
            program.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
