#!/usr/bin/python3
"""The server's browser page in a real browser: Debian's chromium, headless, driven through
chromium-driver. The page runs against the real vesmera-server on two simulated terminals.

usage: dashboard_browser_test.py BIN_DIR OUT_DIR
Exits 77 (skipped) when selenium, chromium or chromedriver is missing."""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
OUT = sys.argv[2] if len(sys.argv) > 2 else "build"
CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException, TimeoutException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(77)
if not (os.access(CHROMIUM, os.X_OK) and os.access(DRIVER, os.X_OK)):
    print("skipped: chromium or chromedriver is not installed")
    sys.exit(77)

SCRIPT_NAME = "<script>alert(1)</script>"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


class Sim:
    """One simulated terminal on a pseudo-terminal, told what to do on its standard input."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([os.path.join(BIN, "terminal-sim"), *args],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.device = self.proc.stdout.readline().strip()

    def say(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def stop(self):
        self.proc.kill()
        self.proc.wait()


class Server:
    def __init__(self, config, port=0):
        self.config = config
        self.start(port)

    def start(self, port):
        with open(self.config, encoding="utf-8") as f:
            text = f.read()
        text = re.sub(r"(\[HTTP\]\nListen=127\.0\.0\.1:)\d+", lambda m: m.group(1) + str(port), text)
        with open(self.config, "w", encoding="utf-8") as f:
            f.write(text)
        self.proc = subprocess.Popen([os.path.join(BIN, "vesmera-server"), "--config", self.config],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        deadline = time.monotonic() + 20
        self.port = None
        while self.port is None and time.monotonic() < deadline:
            line = self.proc.stdout.readline()
            if not line:
                break
            m = re.match(r"http listening on 127\.0\.0\.1:(\d+)", line.strip())
            if m:
                self.port = int(m.group(1))
        if self.port is None:
            raise SystemExit("the server never said where HTTP listens")

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=10)


def tile_state(driver):
    """Every tile as the page shows it: name, weight text, state words, colour class."""
    return driver.execute_script("""
        return [...document.querySelectorAll('section.tile')].map(t => ({
          name: t.getAttribute('aria-label'),
          heading: t.querySelector('h2').textContent,
          weight: t.querySelector('.weight-text').textContent,
          live: t.querySelector('.weight-text').getAttribute('aria-live'),
          state: t.querySelector('.state').textContent,
          kind: t.className.replace('tile ', ''),
          zero: !t.querySelector('button.zero').hidden,
        }));""")


def wait_for(driver, what, predicate, seconds=15):
    """Waits for the page to show something; returns how long it took, or None."""
    start = time.monotonic()
    try:
        WebDriverWait(driver, seconds, poll_frequency=0.05).until(lambda d: predicate(tile_state(d)))
        return time.monotonic() - start
    except TimeoutException:
        check(False, what + ": " + repr(tile_state(driver)))
        return None


def main():
    workdir = tempfile.mkdtemp(prefix="vesmera-dashboard-")
    first = Sim("--weight", "12.5")
    second = Sim("--weight", "7", "--unstable")
    config = os.path.join(workdir, "vesmera-server.ini")
    with open(config, "w", encoding="utf-8") as f:
        f.write("[Server]\nListen=127.0.0.1:0\nDecimalSeparator=,\n"
                "[HTTP]\nListen=127.0.0.1:0\nToken=board-secret\n"
                f"[Весы 1]\nПорт={first.device}\n"
                f"[{SCRIPT_NAME}]\nПорт={second.device}\n")
    server = Server(config)
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,700",
                "--disable-dev-shm-usage", f"--user-data-dir={workdir}/profile"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    try:
        url = f"http://127.0.0.1:{server.port}/"
        driver.get(url)
        wait_for(driver, "both tiles with their weights",
                 lambda t: [x["weight"] for x in t] == ["12,5", "7"])
        tiles = tile_state(driver)
        check([t["name"] for t in tiles] == ["Весы 1", SCRIPT_NAME], "tiles in configuration order")
        check(tiles[1]["heading"] == SCRIPT_NAME, "a name holding <script> is shown as text")
        check(driver.execute_script("return document.querySelectorAll('main script').length") == 0,
              "no script element made from a name")
        try:
            driver.switch_to.alert
            check(False, "no alert from a terminal's name")
        except NoAlertPresentException:
            pass
        check(tiles[0]["kind"] == "stable" and tiles[1]["kind"] == "unstable",
              "stable and unstable colours: " + repr(tiles))
        check(all(t["live"] == "polite" for t in tiles), "weights announced politely")
        check(all(t["zero"] for t in tiles), "zero buttons shown with a token configured")
        policy = driver.execute_script(
            "return fetch('./').then(r => r.headers.get('Content-Security-Policy'))")
        check(policy is not None and "default-src 'none'" in policy, "the page sets its policy")

        first.say("weight 31.25")
        delay = wait_for(driver, "a change reaches the page",
                         lambda t: t[0]["weight"] == "31,25")
        if delay is not None:
            print(f"change shown {delay * 1000:.0f} ms after the terminal changed")

        second.say("silence on")
        wait_for(driver, "a lost link shows its text",
                 lambda t: t[1]["state"] == "С терминалом нет связи" and t[1]["kind"] == "none")

        driver.save_screenshot(os.path.join(OUT, "dashboard.png"))

        # The zero button asks for the token once per tab and confirms before sending.
        driver.execute_script("window.prompt = () => 'board-secret'; window.confirm = () => true;")
        driver.find_elements(By.CSS_SELECTOR, "section.tile button.zero")[0].click()
        WebDriverWait(driver, 10).until(lambda d: d.execute_script(
            "return document.querySelector('section.tile .note').textContent") != "")
        note = driver.execute_script("return document.querySelector('section.tile .note').textContent")
        check(note == "Обнуление отправлено", "zero accepted: " + note)
        check(driver.execute_script("return sessionStorage.getItem('vesmera-token')") == "board-secret",
              "the token is kept for the tab")
        # The simulated terminal zeroes its weight when the request reaches its line.
        wait_for(driver, "the zero reaches the terminal", lambda t: t[0]["weight"] == "0")


        port = server.port
        server.stop()
        wait_for(driver, "a stopped server greys every tile",
                 lambda t: all(x["state"] == "Сервер не найден" and x["kind"] == "none" for x in t))
        server.start(port)
        wait_for(driver, "a restarted server brings the tiles back", lambda t: t[0]["weight"] == "0"
                 and t[0]["kind"] == "stable", seconds=30)

        driver.get(f"{url}?terminal=" + "%D0%92%D0%B5%D1%81%D1%8B%201")
        wait_for(driver, "?terminal= shows the chosen tile only",
                 lambda t: [x["name"] for x in t] == ["Весы 1"])
    finally:
        driver.quit()
        server.stop()
        first.stop()
        second.stop()
    print("dashboard: " + ("all checks passed" if not failures else f"{len(failures)} checks failed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
