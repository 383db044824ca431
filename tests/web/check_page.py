#!/usr/bin/env python3
"""The browser page (queuecalc.html) in headless Chromium, held to the day-plan program.

Usage: check_page.py CHROMIUM PAGE.html QUEUECALC_PLAN FORECAST.csv ARTEFACTS_DIR

Ends with status 77 (skipped) when PAGE.html does not exist: it is built by
scripts/build-web.sh, with emscripten. Otherwise fails (status 1) when:
  - a scenario given as a query string shows answers other than the program's
    on the same inputs (the interval's record of its CSV, cell for cell; the
    page shows an empty cell as a dash; the SL bound: see DOUBLE_PATH_WIDENING);
  - a bad value shows a number, or no message beside its field;
  - the forecast pasted into the page (or opened as a file) gives a plan CSV other than the
    program's output (every cell the same, but for the SL bound: see
    DOUBLE_PATH_WIDENING);
  - a field has no label, or the page is wider than a phone's screen;
  - the page logs an error, throws, or asks for anything outside itself.
Keeps screenshots at 1200 px and at phone width in ARTEFACTS_DIR, and prints
the time from typing a value to its answer.
"""
import base64
import json
import os
import statistics
import subprocess
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "report"))
from check_html_page import Browser  # noqa: E402  (the one Chromium driver of the tests)

# Scenarios as links: the Python module's keywords with the programs' value
# syntax. Each covers a case the page must carry through unchanged.
SCENARIOS = [
    ("exponential patience", {"calls": "100", "aht": "180", "patience": "exponential", "patience_mean": "120",
                              "max_abandon": "5%"}),
    ("Erlang patience", {"calls": "250", "aht": "240", "patience": "erlang:3", "patience_mean": "90",
                         "sl": "90/15", "shrinkage": "35"}),
    ("lognormal patience", {"calls": "400", "aht": "300", "patience": "lognormal:0.7", "patience_mean": "150",
                            "max_asa": "20", "interval_minutes": "15"}),
    ("overload: fewer lines than the load, patience keeps it stable",
     {"calls": "360", "aht": "300", "patience_mean": "60", "lines": "50", "sl": "none", "max_abandon": "40"}),
    ("a finite room, nobody hangs up", {"calls": "120", "aht": "200", "waiting_places": "5", "max_occupancy": "80"}),
    ("an infeasible target: 12 lines lose more than 5 % of the calls",
     {"calls": "100", "aht": "180", "lines": "12", "sl": "95/20"}),
    ("the chain model", {"calls": "80", "aht": "150", "patience": "erlang:2", "patience_mean": "100",
                         "model": "chain", "method": "euler"}),
]
# The answers the page shows, by the plan CSV's column.
ANSWERS = {"agents": "agents", "scheduled": "scheduled", "places": "waiting places", "asa": "ASA (s)",
           "abandonment": "abandonment (%)", "occupancy": "occupancy (%)", "loss": "P(Loss)", "bound": "SL bound"}
EMPTY = "\u2014"
# The query string's names that are the program's options (calls and aht
# are the forecast's).
OPTION_OF = {"interval_minutes": "--interval-minutes", "sl": "--sl", "max_abandon": "--max-abandon",
             "max_asa": "--max-asa", "max_occupancy": "--max-occupancy", "shrinkage": "--shrinkage",
             "patience": "--patience", "patience_mean": "--patience-mean", "lines": "--lines",
             "waiting_places": "--waiting-places", "model": "--model", "method": "--method"}
# The page runs the library's double paths only (WebAssembly has no fast
# long double), whose bounds count their rounding in double: where the program
# ran a long double path (the chain's certified waiting times, the exact
# model's largest centres) the page's SL bound is the wider, for centres of
# the size below by at most the ratio of the unit roundoffs, 2^-53 / 2^-64
# (inversion/exact_waiting.h). Where both ran in double the bound, a
# Gauss-Kronrod difference near the rounding level, still moves with the last
# bits of the C library's exp and log (emscripten's against glibc) by a few
# per cent. Every other cell is equal.
BOUND_COLUMN = "SL bound"
DOUBLE_PATH_WIDENING = 2.0 ** 11
BOUND_NOISE = 0.05
PHONE_WIDTH = 390


def same_cell(column, page, program):
    """Whether the page's cell answers as the program's."""
    if column != BOUND_COLUMN or page == program:
        return page == program
    try:
        return float(program) * (1 - BOUND_NOISE) <= float(page) <= DOUBLE_PATH_WIDENING * float(program)
    except ValueError:
        return False


def differing_cells(page_csv, program_csv):
    """The cells of two plan CSVs that answer differently, as messages."""
    import csv
    import io
    page_rows = list(csv.reader(io.StringIO(page_csv, newline="")))
    program_rows = list(csv.reader(io.StringIO(program_csv, newline="")))
    if len(page_rows) != len(program_rows) or not page_rows or page_rows[0] != program_rows[0]:
        return ["%d records against the program's %d, or another header" % (len(page_rows), len(program_rows))]
    header = program_rows[0]
    return ["line %d, %s: %r against the program's %r" % (i + 1, c, a, b)
            for i, (page_row, program_row) in enumerate(zip(page_rows, program_rows))
            for c, a, b in zip(header, page_row, program_row) if not same_cell(c, a, b)]
# A typed value is answered in well under this (milliseconds; the median of
# several, on a loaded machine too).
TYPING_LIMIT_MS = 100


def program_args(query):
    args = []
    for name, value in query.items():
        if name in OPTION_OF and not (name == "patience" and value == "none"):
            args += [OPTION_OF[name], value]
    return args


def program_row(plan, query, workdir):
    """The program's record of the one interval, as {column: cell}."""
    forecast = os.path.join(workdir, "interval.csv")
    with open(forecast, "w", newline="") as f:
        f.write("interval,calls,aht\r\nthis interval,%s,%s\r\n" % (query["calls"], query["aht"]))
    # The page's interval length field holds 30 minutes unless the link says
    # otherwise; a label that is no time of day tells the program nothing.
    args = program_args(dict({"interval_minutes": "30"}, **query))
    run = subprocess.run([plan, forecast] + args, capture_output=True, text=True)
    if run.returncode not in (0, 1):
        raise RuntimeError("queuecalc-plan refused %s: %s" % (query, run.stderr))
    import csv
    import io
    header, row = list(csv.reader(io.StringIO(run.stdout)))[:2]
    return dict(zip(header, row))


class Page:
    def __init__(self, browser, session):
        self.browser, self.session = browser, session

    def evaluate(self, expression):
        result = self.browser.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                        "awaitPromise": True}, session=self.session)
        if "exceptionDetails" in result:
            raise RuntimeError("%s: %s" % (expression, json.dumps(result["exceptionDetails"])))
        return result["result"].get("value")

    def open(self, url):
        self.browser.send("Page.navigate", {"url": url}, session=self.session)
        self.browser.wait_for("Page.loadEventFired", self.session)
        ready = self.evaluate("new Promise(done => { const t0 = Date.now(); (function wait() {"
                              " if (document.documentElement.dataset.state === 'ready') done(true);"
                              " else if (Date.now() - t0 > 20000) done(false); else setTimeout(wait, 20); })(); })")
        if not ready:
            raise RuntimeError("the page did not become ready: " + url)

    def text(self, element_id):
        return self.evaluate("document.getElementById(%s).textContent" % json.dumps(element_id))

    def screenshot(self, path, width):
        self.browser.send("Emulation.setDeviceMetricsOverride", {"width": width, "height": 900, "deviceScaleFactor": 1,
                                                                 "mobile": width < 600}, session=self.session)
        size = json.loads(self.evaluate("JSON.stringify([document.documentElement.scrollWidth,"
                                        " document.documentElement.scrollHeight])"))
        shot = self.browser.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True,
                                                            "clip": {"x": 0, "y": 0, "width": size[0],
                                                                     "height": size[1], "scale": 1}},
                                 session=self.session)
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        return size


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    chromium, page_path, plan, forecast, artefacts = sys.argv[1:]
    if not os.path.exists(page_path):
        print("skipped: %s is not built (scripts/build-web.sh, with emscripten)" % page_path)
        sys.exit(77)
    os.makedirs(artefacts, exist_ok=True)
    page_url = "file://" + os.path.abspath(page_path)
    problems = []
    workdir = tempfile.mkdtemp(prefix="page-check-")
    browser = Browser(chromium)
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            browser.send(domain + ".enable", session=session)
        page = Page(browser, session)
        browser.send("Emulation.setDeviceMetricsOverride", {"width": 1200, "height": 900, "deviceScaleFactor": 1,
                                                            "mobile": False}, session=session)

        # The scenarios: the page's answers are the program's cells.
        for name, query in SCENARIOS:
            expected = program_row(plan, query, workdir)
            page.open(page_url + "?" + urllib.parse.urlencode(query))
            shown = {i: page.text(i) for i in list(ANSWERS) + ["sl"]}
            sl_column = next(c for c in expected if c.startswith("SL ") and c.endswith("(%)"))
            wanted = {i: expected[c] for i, c in ANSWERS.items()}
            wanted["sl"] = expected[sl_column]
            for i in wanted:
                column = ANSWERS.get(i, sl_column)
                if not same_cell(column, "" if shown[i] == EMPTY else shown[i], wanted[i]):
                    problems.append("%s: #%s shows %r, queuecalc-plan %r" % (name, i, shown[i], wanted[i]))
            if expected["note"] and expected["note"] not in page.text("note"):
                problems.append("%s: the note %r is not shown" % (name, expected["note"]))
            print("%-62s agents %-4s SL %-6s ASA %-5s abandonment %-5s bound %s" %
                  (name, shown["agents"], shown["sl"], shown["asa"], shown["abandonment"], shown["bound"]))

        # Bad values: a message beside the field, and no number.
        for query, field in [({"calls": "12o", "aht": "180"}, "calls"), ({"calls": "100", "aht": "180", "sl": "80"}, "sl"),
                             ({"calls": "100", "aht": "180", "patience": "erlang:20", "patience_mean": "60"},
                              "patience_phases"),
                             ({"calls": "100", "aht": "180", "max_abandon": "120"}, "max_abandon")]:
            page.open(page_url + "?" + urllib.parse.urlencode(query))
            message = page.text("f_%s_error" % field)
            invalid = page.evaluate("document.getElementById('f_%s').getAttribute('aria-invalid')" % field)
            if not message or invalid != "true":
                problems.append("%s: no message beside %s" % (query, field))
            if page.text("agents") != EMPTY or page.text("sl") != EMPTY:
                problems.append("%s: a number is shown for a bad value" % query)

        # Typing: the time from a changed value to its answer.
        page.open(page_url + "?" + urllib.parse.urlencode(SCENARIOS[0][1]))
        times = json.loads(page.evaluate("""(() => {
            const calls = document.getElementById('f_calls'), times = [];
            for (let i = 0; i < 15; ++i) {
              const t0 = performance.now();
              calls.value = String(100 + 7 * i);
              calls.dispatchEvent(new Event('input', {bubbles: true}));
              document.getElementById('agents').textContent;
              times.push(performance.now() - t0);
            }
            return JSON.stringify(times);
        })()"""))
        typing = statistics.median(times)
        print("typing to answer: median %.1f ms, longest %.1f ms (%d changes)" % (typing, max(times), len(times)))
        if typing > TYPING_LIMIT_MS:
            problems.append("typing to answer takes %.1f ms" % typing)
        if "calls=198" not in page.evaluate("location.search"):
            problems.append("the address does not follow the typed value: " + page.evaluate("location.search"))

        # A day: the pasted forecast's plan is the program's CSV, byte for byte.
        day = {"patience_mean": "120", "max_abandon": "5"}
        page.open(page_url + "?" + urllib.parse.urlencode(dict(SCENARIOS[0][1], **day)))
        with open(forecast, newline="") as f:
            forecast_text = f.read()
        page.evaluate("document.getElementById('forecast').value = %s;"
                      "document.getElementById('plan_day').click(); 0" % json.dumps(forecast_text))
        link = page.evaluate("document.getElementById('day_download').href")
        page_csv = urllib.parse.unquote(link.split(",", 1)[1]) if link.startswith("data:text/csv") else ""
        query = dict(SCENARIOS[0][1], **day)
        program_csv = subprocess.run([plan, forecast] + program_args(query), capture_output=True).stdout.decode()
        differing = differing_cells(page_csv, program_csv)
        problems += ["the day's plan: " + d for d in differing]
        # The same forecast opened as a file plans the same day.
        page.evaluate("document.getElementById('day_download').removeAttribute('href'); 0")
        root = browser.send("DOM.getDocument", session=session)["root"]["nodeId"]
        node = browser.send("DOM.querySelector", {"nodeId": root, "selector": "#forecast_file"}, session=session)["nodeId"]
        browser.send("DOM.setFileInputFiles", {"nodeId": node, "files": [os.path.abspath(forecast)]}, session=session)
        opened = page.evaluate("new Promise(done => { const t0 = Date.now(); (function wait() {"
                               " const a = document.getElementById('day_download');"
                               " if (a.getAttribute('href')) done(a.getAttribute('href'));"
                               " else if (Date.now() - t0 > 20000) done(''); else setTimeout(wait, 20); })(); })")
        if urllib.parse.unquote(opened.split(",", 1)[-1]) != page_csv:
            problems.append("the forecast opened as a file plans another day than the same text pasted")
        charts = page.evaluate("document.querySelectorAll('#day_report svg.chart').length")
        if charts < 6:
            problems.append("the day's report shows %d charts" % charts)
        print("day: %d intervals; the plan CSV %s; %d charts" %
              (page_csv.count("\r\n") - 2, "equals the program's byte for byte" if page_csv == program_csv else
               "answers as the program's (%d SL bounds wider)" % sum(
                   1 for a, b in zip(page_csv.split(","), program_csv.split(",")) if a != b), charts))

        # Labels, widths and the pictures.
        unlabelled = page.evaluate("[...document.querySelectorAll('input, select, textarea')]"
                                   ".filter(e => e.labels.length === 0).map(e => e.id).join(' ')")
        if unlabelled:
            problems.append("fields without a label: " + unlabelled)
        wide = page.screenshot(os.path.join(artefacts, "page-1200.png"), 1200)
        phone = page.screenshot(os.path.join(artefacts, "page-phone.png"), PHONE_WIDTH)
        if phone[0] > PHONE_WIDTH:
            problems.append("at %d px the page is %d px wide" % (PHONE_WIDTH, phone[0]))
        print("screenshots: %dx%d and %dx%d px in %s" % (wide[0], wide[1], phone[0], phone[1], artefacts))

        # Everything the page said or asked for.
        page.evaluate("0")
        for e in browser.events:
            method, params = e.get("method"), e.get("params", {})
            if method == "Runtime.exceptionThrown":
                problems.append("exception: " + json.dumps(params.get("exceptionDetails", {}).get("text")))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert", "warning"):
                problems.append("console %s: %s" % (params.get("type"), json.dumps(params.get("args"))))
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
                problems.append("log error: " + params["entry"].get("text", ""))
            elif method == "Network.requestWillBeSent":
                requested = params.get("request", {}).get("url", "")
                if not requested.startswith(page_url) and not requested.startswith("data:"):
                    problems.append("the page asks for " + requested)
    finally:
        browser.close()
        subprocess.run(["rm", "-rf", workdir])
    for p in problems:
        print("problem:", p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
