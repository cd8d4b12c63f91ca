#!/usr/bin/python3
"""Figures of the server's browser page, in Debian's headless chromium on loopback.

usage: dashboard_bench.py BIN_DIR [MINUTES]

1. First paint with 50 terminals: the page's own mark 'tiles-rendered' (all tiles drawn with
   their readings), read through the browser's timing API, median of five loads.
2. Memory over time: ten simulated terminals drifting so that readings change about ten times a
   second in all, while the page runs for MINUTES (default 10); the page's JS heap and the
   number of DOM nodes are sampled each minute after a forced garbage collection, and the
   slope is printed."""

import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
MINUTES = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0


def start_server(config):
    proc = subprocess.Popen([os.path.join(BIN, "vesmera-server"), "--config", config],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    while True:
        line = proc.stdout.readline()
        if not line:
            raise SystemExit("the server ended before it listened")
        m = re.match(r"http listening on 127\.0\.0\.1:(\d+)", line.strip())
        if m:
            return proc, int(m.group(1))


def browser(workdir):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1600,1000",
                "--disable-dev-shm-usage", "--enable-precise-memory-info",
                "--js-flags=--expose-gc", f"--user-data-dir={workdir}/profile"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def first_paint(workdir):
    config = os.path.join(workdir, "paint.ini")
    with open(config, "w", encoding="utf-8") as f:
        f.write("[Server]\nListen=127.0.0.1:0\n[HTTP]\nListen=127.0.0.1:0\n")
        for i in range(50):
            # Devices that do not exist: each terminal reports its port error, a full tile.
            f.write(f"[Весы {i + 1}]\nПорт={workdir}/absent-{i}\n")
    server, port = start_server(config)
    driver = browser(workdir)
    times = []
    try:
        for _ in range(5):
            driver.get(f"http://127.0.0.1:{port}/")
            for _ in range(200):
                mark = driver.execute_script(
                    "const m = performance.getEntriesByName('tiles-rendered');"
                    "return m.length ? m[0].startTime : null;")
                if mark is not None:
                    break
                time.sleep(0.05)
            tiles = driver.execute_script("return document.querySelectorAll('section.tile').length")
            times.append(mark)
            print(f"  load: tiles {tiles}, tiles-rendered at {mark:.0f} ms")
    finally:
        driver.quit()
        server.terminate()
        server.wait()
    print(f"first paint with 50 terminals: median {statistics.median(times):.0f} ms, "
          f"worst {max(times):.0f} ms")


def memory(workdir):
    sims = []
    config = os.path.join(workdir, "memory.ini")
    with open(config, "w", encoding="utf-8") as f:
        f.write("[Server]\nListen=127.0.0.1:0\n[HTTP]\nListen=127.0.0.1:0\n")
        for i in range(10):
            # A drifting weight changes at every poll that the terminal answers; the server
            # polls each terminal every 100 ms, so ten terminals give about ten changes a second
            # each: ample for the page's steady state.
            sim = subprocess.Popen([os.path.join(BIN, "terminal-sim"), "--weight", "100",
                                    "--drift", "0.5", "--drift-limit", "900"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            sims.append(sim)
            f.write(f"[Весы {i + 1}]\nПорт={sim.stdout.readline().strip()}\n")
    server, port = start_server(config)
    driver = browser(workdir)
    samples = []
    try:
        driver.get(f"http://127.0.0.1:{port}/")
        start = time.monotonic()
        while True:
            elapsed = (time.monotonic() - start) / 60
            driver.execute_script("if (window.gc) window.gc();")
            heap, nodes = driver.execute_script(
                "return [performance.memory.usedJSHeapSize,"
                " document.getElementsByTagName('*').length];")
            samples.append((elapsed, heap / 1e6, nodes))
            print(f"  {elapsed:5.1f} min: JS heap {heap / 1e6:.2f} MB, {nodes} elements")
            if elapsed >= MINUTES:
                break
            time.sleep(60)
    finally:
        driver.quit()
        server.terminate()
        server.wait()
        for sim in sims:
            sim.kill()
    later = [s for s in samples if s[0] >= 1.0] or samples
    if len(later) >= 2:
        slope = statistics.linear_regression([s[0] for s in later], [s[1] for s in later]).slope
        print(f"JS heap after the first minute: {later[0][1]:.2f} MB to {later[-1][1]:.2f} MB, "
              f"slope {slope * 1000:.1f} kB per minute over {later[-1][0]:.1f} min")


def main():
    workdir = tempfile.mkdtemp(prefix="vesmera-dashboard-bench-")
    first_paint(workdir)
    if MINUTES > 0:
        memory(workdir)


if __name__ == "__main__":
    main()
