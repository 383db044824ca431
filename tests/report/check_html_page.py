#!/usr/bin/env python3
"""Opens an HTML report in headless Chromium and checks that it renders.

Usage: check_html_page.py CHROMIUM PAGE.html SCREENSHOT.png [MIN_CHARTS [HEIGHT]]

Talks to the browser over its debugging pipe (file descriptors 3 and 4,
messages ended by a NUL byte; no library needed). Fails (exit 1) when:
  - the page does not load, or logs an error or throws;
  - the page asks for anything outside itself (any request but the page's
    own file: no network, no other file);
  - it has fewer than MIN_CHARTS <svg> charts (default 1), or a chart's
    series path is empty: no path with a length and a box of its own;
  - a heat map (<svg class="heatmap">) has no cell with a size;
  - a table is wider than its place (some of it behind a scrollbar) in a
    window 1200 px wide;
  - the screenshot cannot be taken.
Keeps a screenshot of the whole page, or of its top HEIGHT pixels, at
SCREENSHOT.png.
"""
import base64
import json
import os
import subprocess
import sys
import tempfile

CHECK = r"""
(() => {
  const charts = Array.from(document.querySelectorAll('svg.chart'));
  const report = {charts: charts.length, empty: [], scripts: document.scripts.length,
                  width: document.documentElement.scrollWidth, height: document.documentElement.scrollHeight};
  charts.forEach((svg, i) => {
    const box = svg.getBoundingClientRect();
    if (!(box.width > 0 && box.height > 0)) report.empty.push('chart ' + i + ' has no size');
    const lines = svg.querySelectorAll('path.line');
    if (lines.length === 0) report.empty.push('chart ' + i + ' (' + svg.getAttribute('aria-label') + ') draws no series');
    lines.forEach((p, j) => {
      const b = p.getBBox();
      if (!(p.getTotalLength() > 0) || !(b.width > 0 || b.height > 0))
        report.empty.push('chart ' + i + ' series ' + j + ' is an empty path');
    });
  });
  document.querySelectorAll('table').forEach((table, i) => {
    const place = table.parentElement.getBoundingClientRect().width;
    if (table.getBoundingClientRect().width > place + 1)
      report.empty.push('table ' + i + ' is ' + Math.round(table.getBoundingClientRect().width) + ' px wide in ' +
                        Math.round(place) + ' px');
  });
  const maps = Array.from(document.querySelectorAll('svg.heatmap'));
  report.heatmaps = maps.length;
  maps.forEach((svg, i) => {
    const cells = Array.from(svg.querySelectorAll('rect')).filter(r => r.getBBox().width > 0 && r.getBBox().height > 0);
    if (cells.length === 0) report.empty.push('heat map ' + i + ' has no cell');
  });
  return JSON.stringify(report);
})()
"""


class Browser:
    def __init__(self, chromium):
        self.profile = tempfile.mkdtemp(prefix="chromium-check-")
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # The browser reads commands on fd 3 and writes on fd 4.
        args = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-extensions", "--hide-scrollbars", "--mute-audio",
                "--user-data-dir=" + self.profile, "--remote-debugging-pipe", "about:blank"]

        def child_fds():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)

        self.process = subprocess.Popen(args, pass_fds=(3, 4), preexec_fn=child_fds,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(method + ": " + json.dumps(reply["error"]))
                return reply.get("result", {})
            self.events.append(reply)

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def wait_for(self, method, session):
        for i, e in enumerate(self.events):
            if e.get("method") == method and e.get("sessionId") == session:
                return self.events.pop(i)
        while True:
            e = self.receive()
            if e.get("method") == method and e.get("sessionId") == session:
                return e
            self.events.append(e)

    def close(self):
        try:
            self.send("Browser.close")
        except RuntimeError:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        subprocess.run(["rm", "-rf", self.profile])


def main():
    if len(sys.argv) not in (4, 5, 6):
        sys.exit(__doc__)
    chromium, page, screenshot = sys.argv[1:4]
    min_charts = int(sys.argv[4]) if len(sys.argv) >= 5 else 1
    height = int(sys.argv[5]) if len(sys.argv) == 6 else None
    url = "file://" + os.path.abspath(page)
    browser = Browser(chromium)
    problems = []
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            browser.send(domain + ".enable", session=session)
        browser.send("Emulation.setDeviceMetricsOverride",
                     {"width": 1200, "height": 900, "deviceScaleFactor": 1, "mobile": False}, session=session)
        browser.send("Page.navigate", {"url": url}, session=session)
        browser.wait_for("Page.loadEventFired", session)
        result = browser.send("Runtime.evaluate", {"expression": CHECK, "returnByValue": True}, session=session)
        report = json.loads(result["result"]["value"])
        size = {"x": 0, "y": 0, "width": report["width"], "height": min(report["height"], height or report["height"]),
                "scale": 1}
        shot = browser.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True, "clip": size},
                            session=session)
        with open(screenshot, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        # Everything the page said or asked for while it loaded.
        browser.send("Runtime.evaluate", {"expression": "0"}, session=session)
        for e in browser.events:
            method, params = e.get("method"), e.get("params", {})
            if method == "Runtime.exceptionThrown":
                problems.append("exception: " + json.dumps(params.get("exceptionDetails", {}).get("text")))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                problems.append("console error: " + json.dumps(params.get("args")))
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
                problems.append("log error: " + params["entry"].get("text", ""))
            elif method == "Network.requestWillBeSent":
                requested = params.get("request", {}).get("url", "")
                if requested != url and not requested.startswith("data:"):
                    problems.append("the page asks for " + requested)
        if report["charts"] < min_charts:
            problems.append("%d charts, expected at least %d" % (report["charts"], min_charts))
        problems += report["empty"]
        print("charts: %d, heat maps: %d, page %dx%d px, scripts: %d, screenshot: %s" %
              (report["charts"], report["heatmaps"], report["width"], report["height"], report["scripts"], screenshot))
    finally:
        browser.close()
    for p in problems:
        print("problem:", p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
