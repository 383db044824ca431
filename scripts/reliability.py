#!/usr/bin/env python3
"""Reliability campaign against the built programs and the Python module.

    python3 scripts/reliability.py --build build [--seed N] [--quick]

Runs, with fixed seeds so that a run can be repeated case for case:

  a. fuzzed forecasts for queuecalc-plan (mutations of examples/ forecasts and
     of generated ones);
  b. hostile command lines for queuecalc-plan, -sweep and -shifts (an output
     that is an input, by name, link or path; one file for two outputs; empty
     paths; absurd numbers; --jobs at its extremes; a read-only folder);
  c. SIGINT, SIGTERM and SIGKILL at random times into long plan and sweep runs
     that replace an existing output file;
  d. probes of the Python module (wrong kinds, bools, NaN and infinity, huge
     integers, empty lists; Ctrl-C during long calls), where it imports;
  e. time and memory of the big cases.

Every program run must end by itself with status 0, 1 or 2 (no signal, no
sanitizer report), explain a failure in one line of standard error, write
nothing when it refuses its input (status 2), leave its inputs as they were,
and leave no temporary file. It prints a table of counts and the big cases'
figures, keeps each failing case's files under --keep, and exits with status 1
when any case fails. Takes 4 to 11 minutes on two shared cores (--quick:
about 2). Not part of ctest: too long for every build.
"""

import argparse
import glob
import hashlib
import json
import os
import pty
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
EXAMPLES = ROOT / "examples"

PLAN, SWEEP, SHIFTS = "queuecalc-plan", "queuecalc-sweep", "queuecalc-shifts"
CRASH_SIGNALS = {signal.SIGSEGV, signal.SIGABRT, signal.SIGBUS, signal.SIGFPE, signal.SIGILL, signal.SIGSYS,
                 signal.SIGTRAP}
SANITIZER_MARKS = (b"AddressSanitizer", b"UndefinedBehaviorSanitizer", b"LeakSanitizer", b"ThreadSanitizer",
                   b"MemorySanitizer", b"runtime error:")
# An echoed value is cut to 60 characters (each escaped byte is 4); a line
# longer than this holds an uncut one.
LONGEST_MESSAGE_LINE = 600
# A signal should end a program as soon as a person would notice.
PROMPT_EXIT = 1.0
# Per-run limits: far beyond any case's normal time, so that a hang shows.
CASE_TIMEOUT = 60.0
# The worker processes the campaign runs side by side (the machine is shared).
WORKERS = 2


# --------------------------------------------------------------------------
# Running a program


class Result:
    """One finished run: status (or the signal that ended it), its output,
    wall-clock and processor time, peak memory, and the time from a signal
    sent to the exit."""

    def __init__(self):
        self.status = None
        self.signal = None
        self.stdout = b""
        self.stderr = b""
        self.wall = 0.0
        self.cpu = 0.0
        self.maxrss_kb = 0
        self.timed_out = False
        self.sent = False
        self.exit_after_signal = None


def _as_nobody():
    os.setgid(65534)
    os.setuid(65534)


def run(argv, cwd, timeout=CASE_TIMEOUT, send=None, stderr_pty=False, as_nobody=False, env=None):
    """Runs argv in cwd with standard input empty; `send` = (signal, seconds
    after the start) sends that signal once. Peak memory and processor time
    are the child's own (wait4)."""
    result = Result()
    out = tempfile.TemporaryFile()
    err = tempfile.TemporaryFile()
    master = slave = None
    chunks = []
    reader = None
    if stderr_pty:
        master, slave = pty.openpty()

        def drain():
            while True:
                try:
                    data = os.read(master, 4096)
                except OSError:
                    return
                if not data:
                    return
                chunks.append(data)

        reader = threading.Thread(target=drain, daemon=True)
        reader.start()
    start = time.monotonic()
    proc = subprocess.Popen([str(a) for a in argv], cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                            stderr=slave if stderr_pty else err, env=env,
                            preexec_fn=_as_nobody if as_nobody else None)
    sent_at = None
    pause = 0.001
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        now = time.monotonic()
        if pid:
            break
        if send and sent_at is None and now - start >= send[1]:
            os.kill(proc.pid, send[0])
            sent_at = time.monotonic()
            result.sent = True
        if now - start > timeout:
            os.kill(proc.pid, signal.SIGKILL)
            pid, status, usage = os.wait4(proc.pid, 0)
            result.timed_out = True
            break
        if send and sent_at is None:
            time.sleep(max(0.0, min(0.01, start + send[1] - now)))
        elif send:
            time.sleep(0.0005)
        else:
            time.sleep(pause)
            pause = min(pause * 1.5, 0.02)
    end = time.monotonic()
    code = os.waitstatus_to_exitcode(status)
    proc.returncode = code
    if code < 0:
        result.signal = -code
    else:
        result.status = code
    result.wall = end - start
    result.cpu = usage.ru_utime + usage.ru_stime
    result.maxrss_kb = usage.ru_maxrss
    if sent_at is not None:
        result.exit_after_signal = end - sent_at
    out.seek(0)
    err.seek(0)
    result.stdout = out.read()
    result.stderr = err.read()
    out.close()
    err.close()
    if stderr_pty:
        os.close(slave)
        reader.join(timeout=2)
        os.close(master)
        result.stderr = b"".join(chunks)
    return result


TIME = "/usr/bin/time"


def measured(argv, cwd, timeout=CASE_TIMEOUT, **kwargs):
    """run() with the peak memory of the program itself: through
    /usr/bin/time, whose own small process is what the program's peak
    starts from (a child forked from this interpreter starts from the
    interpreter's size); wait4's figure where it is missing."""
    if not os.access(TIME, os.X_OK):
        return run(argv, cwd, timeout, **kwargs)
    with tempfile.NamedTemporaryFile(mode="r") as figures:
        result = run([TIME, "-f", "%M %e %U %S", "-o", figures.name] + list(argv), cwd, timeout, **kwargs)
        lines = figures.read().splitlines()
    if lines and not result.timed_out:
        fields = lines[-1].split()
        result.maxrss_kb = int(fields[0])
        result.cpu = float(fields[2]) + float(fields[3])
        for line in lines[:-1]:  # "Command terminated by signal N": time then exits 128 + N
            if "terminated by signal" in line:
                result.signal, result.status = int(line.split()[-1]), None
    return result


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"signal {number}"


def run_faults(result, program, terminal=False):
    """The faults any run can show, whatever it was asked: a hang, a crash,
    a sanitizer report, a status outside 0..2, and for a failure a message
    that is missing, not one line, or carries raw control bytes (but on a
    terminal, where the progress line rewrites itself with them)."""
    faults = []
    if result.timed_out:
        return ["timeout"]
    if result.signal is not None:
        kind = "crash" if result.signal in CRASH_SIGNALS else "killed"
        faults.append(f"{kind} ({signal_name(result.signal)})")
    if any(mark in result.stderr for mark in SANITIZER_MARKS):
        faults.append("sanitizer report")
    if result.status is not None and result.status not in (0, 1, 2):
        faults.append(f"exit status {result.status}")
    if not terminal:
        faults += message_faults(result, program)
    return faults


def message_faults(result, program):
    faults = []
    err = result.stderr
    if any(b < 0x20 and b not in (0x0A,) or b == 0x7F for b in err):
        faults.append("raw control byte in message")
    try:
        err.decode("utf-8")
    except UnicodeDecodeError:
        faults.append("malformed UTF-8 in message")
    lines = err.split(b"\n")
    if any(len(line) > LONGEST_MESSAGE_LINE for line in lines):
        faults.append("uncut message")
    if result.status not in (None, 0):
        text = [line for line in lines if line.strip()]
        if not text:
            faults.append("no message")
        elif not text[-1].startswith(program.encode() + b": "):
            faults.append("message not one line")
    return faults


def sha(path):
    """The file's SHA-256, read in pieces: the campaign's own memory stays
    small, since a child forked from it starts with a copy counted in its
    peak (ru_maxrss keeps the high-water mark from before exec)."""
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def snapshot(folder):
    """Every entry of a folder, its kind and content hash (links as links)."""
    state = {}
    for entry in sorted(os.listdir(folder)):
        path = os.path.join(folder, entry)
        if os.path.islink(path):
            state[entry] = "link:" + os.readlink(path)
        elif os.path.isdir(path):
            state[entry] = "dir:" + json.dumps(snapshot(path), sort_keys=True)
        else:
            state[entry] = sha(path)
    return state


class Tally:
    """Cases, passes and failures by kind for one part of the campaign, and
    the first few failing cases of each kind for the report."""

    def __init__(self, name, shown=3):
        self.name = name
        self.shown = shown
        self.cases = 0
        self.passed = 0
        self.faults = Counter()
        self.examples = {}
        self.notes = Counter()
        self.lock = threading.Lock()

    def add(self, faults, describe, keep=None, notes=()):
        with self.lock:
            self.cases += 1
            for note in notes:
                self.notes[note] += 1
            if not faults:
                self.passed += 1
                return
            for fault in sorted(set(faults)):
                self.faults[fault] += 1
                examples = self.examples.setdefault(fault, [])
                if len(examples) < self.shown:
                    example = describe() if callable(describe) else describe
                    examples.append(" ".join(example.split("\n")))
                    if keep:
                        keep()

    @property
    def failed(self):
        return self.cases - self.passed


class Campaign:
    def __init__(self, args):
        self.args = args
        self.build = Path(args.build).resolve()
        self.rng = random.Random(args.seed)
        self.scratch = Path(tempfile.mkdtemp(prefix="queuecalc-reliability-"))
        os.chmod(self.scratch, 0o755)  # a run as nobody reads its inputs here
        self.keep_dir = Path(args.keep).resolve() if args.keep else self.build / "reliability-failures"
        self.tallies = []
        self.figures = []
        self.remarks = []
        self.counter = 0
        self.counter_lock = threading.Lock()

    def program(self, name):
        path = self.build / name
        if not os.access(path, os.X_OK):
            sys.exit(f"reliability: {path} is not built")
        return str(path)

    def case_dir(self, part):
        with self.counter_lock:
            self.counter += 1
            number = self.counter
        folder = self.scratch / f"{part}-{number:05d}"
        folder.mkdir()
        os.chmod(folder, 0o777)
        return folder

    def keeper(self, part, folder, argv):
        """Copies a failing case's folder and command under --keep."""

        def keep():
            target = self.keep_dir / folder.name
            shutil.rmtree(target, ignore_errors=True)
            shutil.copytree(folder, target, symlinks=True)
            (target / "COMMAND").write_text(" ".join(_quote(a) for a in argv) + "\n")

        return keep

    def tally(self, name):
        tally = Tally(name, 10**9 if self.args.verbose else 3)
        self.tallies.append(tally)
        return tally

    def scaled(self, full, quick):
        return quick if self.args.quick else full


def _quote(text):
    text = str(text)
    if text and all(c.isalnum() or c in "-_./=:,%+@" for c in text):
        return text
    return "'" + text.replace("'", "'\\''") + "'"


def shown(argv, limit=160):
    text = " ".join(_quote(os.path.basename(a) if i == 0 else a) for i, a in enumerate(argv))
    return text if len(text) <= limit else text[:limit] + "..."


# --------------------------------------------------------------------------
# a. Fuzzed forecasts


OUTPUT_COLUMNS = ["agents", "scheduled", "note", "waiting places", "SL 20 s (%)", "ASA (s)", "abandonment (%)",
                  "occupancy (%)", "P(Loss)", "SL bound", "agent-hours", "scheduled hours", "FTE", "load (Erlangs)",
                  "required", "on hand", "gap"]
BAD_NUMBERS = ["abc", "1,5", "--3", "1e", "0x10", "", " ", "1 2", "+-1", "1..2", "١٢", "½", "1e+", ".", "-", "3%"]
HUGE_NUMBERS = ["1e300", "1e20", "9223372036854775808", "1" + "0" * 400, "-1e300", "1e308", "179769313486231570" + "0" * 292,
                "4294967297", "2147483648", "99999999999"]
SPECIAL_NUMBERS = ["nan", "NaN", "inf", "-inf", "Infinity", "1e999", "-1e999", "-0", "0", "-1", "1e-300", "5e-324",
                   "0.0000001"]
CONTROL_BYTES = ["\x00", "\x01", "\x1b[31m", "\r", "\x7f", "\x0b", "\x0c", "\x08", "\xc2\x85", "\t"]


def generated_forecast(rng):
    """A plausible forecast: times of day, calls, handle times, optional
    patience, date, staffed or scheduled and a free column."""
    step = rng.choice([15, 30, 60])
    count = rng.randint(1, 40)
    days = ["2026-12-07"] if rng.random() < 0.7 else ["2026-12-07", "2026-12-08"]
    columns = ["interval", "calls", "aht"]
    if rng.random() < 0.4:
        columns.append("patience")
    if len(days) > 1 or rng.random() < 0.3:
        columns.append("date")
    if rng.random() < 0.2:
        columns.append(rng.choice(["staffed", "scheduled"]))
    if rng.random() < 0.3:
        columns.append(rng.choice(["team", "comment", "queue"]))
    rng.shuffle(columns)
    rows = []
    for day in days:
        minute = rng.choice([0, 420, 480])
        for _ in range(count):
            values = {
                "interval": f"{minute // 60 % 24:02d}:{minute % 60:02d}",
                "calls": str(rng.choice([0, rng.randint(1, 40), rng.randint(40, 600)])),
                "aht": str(rng.randint(60, 900)),
                "patience": str(rng.randint(10, 600)),
                "date": day,
                "staffed": str(rng.randint(0, 80)),
                "scheduled": str(rng.randint(0, 100)),
                "team": rng.choice(["a", "b", "sales"]),
                "comment": rng.choice(["", "x", "quiet"]),
                "queue": rng.choice(["1", "2"]),
            }
            rows.append([values[c] for c in columns])
            minute += step
            if minute >= 24 * 60:
                break
    return [columns] + rows


def read_table(text):
    return [line.split(",") for line in text.splitlines() if line]


def mutate(rng, table):
    """One mutation of a forecast as a table of fields (the header first);
    returns its name."""
    header, rows = table[0], table[1:]

    def any_cell():
        if not rows:
            return None
        row = rng.choice(rows)
        return row, rng.randrange(len(row))

    def numeric_cell():
        names = [i for i, c in enumerate(header) if c.strip().lower() in ("calls", "aht", "patience", "staffed",
                                                                            "scheduled")]
        if not rows or not names:
            return any_cell()
        row = rng.choice(rows)
        index = rng.choice(names)
        return (row, index) if index < len(row) else any_cell()

    kind = rng.choice(["bad number", "huge number", "nan/inf text", "control bytes", "long field", "missing column",
                       "extra column", "extra field", "missing field", "duplicate column", "output-named column",
                       "duplicate label", "quote", "header case", "total row", "drop rows", "repeat rows",
                       "negative", "staffed fraction"])
    if kind in ("bad number", "huge number", "nan/inf text", "negative"):
        cell = numeric_cell()
        if cell:
            row, index = cell
            pool = {"bad number": BAD_NUMBERS, "huge number": HUGE_NUMBERS, "nan/inf text": SPECIAL_NUMBERS,
                    "negative": ["-1", "-0.5", "-1e-300", "-600"]}[kind]
            row[index] = rng.choice(pool)
    elif kind == "control bytes":
        target = rng.choice([header] + rows) if rows else header
        index = rng.randrange(len(target))
        text = target[index]
        at = rng.randint(0, len(text))
        target[index] = text[:at] + rng.choice(CONTROL_BYTES) + text[at:]
    elif kind == "long field":
        cell = any_cell() if rng.random() < 0.8 else (header, rng.randrange(len(header)))
        if cell:
            row, index = cell
            length = rng.choice([61, 200, 5000, 100000])
            row[index] = rng.choice(["1" * length, "x" * length, row[index] * (length // max(1, len(row[index])))])
    elif kind == "missing column":
        index = rng.randrange(len(header))
        for line in [header] + rows:
            if index < len(line):
                del line[index]
    elif kind == "extra column":
        name = rng.choice(["extra", "", " ", "calls2", "Interval ", "DATE"])
        header.append(name)
        for row in rows:
            row.append(rng.choice(["1", "x", ""]))
    elif kind == "extra field":
        if rows:
            rng.choice(rows).append(rng.choice(["1", "", "x"]))
    elif kind == "missing field":
        if rows:
            row = rng.choice(rows)
            if row:
                row.pop()
    elif kind == "duplicate column":
        index = rng.randrange(len(header))
        header.append(header[index] if rng.random() < 0.5 else header[index].upper())
        for row in rows:
            row.append(row[index] if index < len(row) else "1")
    elif kind == "output-named column":
        name = rng.choice(OUTPUT_COLUMNS)
        name = rng.choice([name, name.upper(), " " + name + " "])
        header.append(name)
        for row in rows:
            row.append(rng.choice(["1", "x", ""]))
    elif kind == "duplicate label":
        if len(rows) >= 2:
            rows.append(list(rng.choice(rows)))
    elif kind == "quote":
        cell = any_cell()
        if cell:
            row, index = cell
            row[index] = rng.choice(['"' + row[index], row[index] + '"', '"' + row[index] + '"x', '"a""b"',
                                     '"1,5"', '"' + row[index] + '"'])
    elif kind == "header case":
        index = rng.randrange(len(header))
        header[index] = rng.choice([header[index].upper(), " " + header[index] + " ", header[index] + "\t",
                                    "\ufeff" + header[index], header[index].title()])
    elif kind == "total row":
        label = header.index("interval") if "interval" in header else 0
        row = ["" for _ in header]
        if label < len(row):
            row[label] = rng.choice(["total", "SUM", "Total "])
        rows.append(row)
    elif kind == "drop rows":
        del rows[rng.randrange(len(rows) + 1):]
    elif kind == "repeat rows":
        rows.extend([list(r) for r in rows[: rng.randint(1, 5)]])
    elif kind == "staffed fraction":
        header.append("staffed")
        for row in rows:
            row.append(rng.choice(["1.5", "-1", "2", "", "1e9"]))
    table[:] = [header] + rows
    return kind


def byte_mutation(rng, data):
    """A mutation of the file's bytes; returns (bytes, name)."""
    kind = rng.choice(["empty file", "header only", "binary junk", "junk appended", "truncated", "flipped bytes",
                       "byte order mark", "CR LF", "CR only", "blank lines", "no final newline", "semicolons",
                       "NUL bytes"])
    if kind == "empty file":
        data = rng.choice([b"", b"\n", b"\r\n", b"\xef\xbb\xbf", b" ", b"\n\n\n"])
    elif kind == "header only":
        data = data.split(b"\n", 1)[0] + rng.choice([b"", b"\n"])
    elif kind == "binary junk":
        data = bytes(rng.randrange(256) for _ in range(rng.choice([1, 16, 512, 4096])))
    elif kind == "junk appended":
        data = data + bytes(rng.randrange(256) for _ in range(rng.randint(1, 64)))
    elif kind == "truncated":
        data = data[: rng.randint(0, len(data))]
    elif kind == "flipped bytes":
        array = bytearray(data)
        for _ in range(rng.randint(1, 8)):
            if array:
                array[rng.randrange(len(array))] = rng.randrange(256)
        data = bytes(array)
    elif kind == "byte order mark":
        data = b"\xef\xbb\xbf" + data
    elif kind == "CR LF":
        data = data.replace(b"\n", b"\r\n")
    elif kind == "CR only":
        data = data.replace(b"\n", b"\r")
    elif kind == "blank lines":
        lines = data.split(b"\n")
        lines.insert(rng.randint(0, len(lines)), rng.choice([b"", b" ", b",,", b"\t"]))
        data = b"\n".join(lines)
    elif kind == "no final newline":
        data = data.rstrip(b"\n")
    elif kind == "semicolons":
        data = data.replace(b",", b";").replace(b".", b",")
    elif kind == "NUL bytes":
        at = rng.randint(0, len(data))
        data = data[:at] + b"\x00" * rng.randint(1, 4) + data[at:]
    return data, kind


def fuzz_case(rng, bases):
    """One fuzzed forecast and the plan's options: (bytes, options, mutations)."""
    if rng.random() < 0.4:
        table = read_table(rng.choice(bases))
    else:
        table = generated_forecast(rng)
    mutations = [mutate(rng, table) for _ in range(rng.choice([0, 1, 1, 1, 2, 3]))]
    data = ("\n".join(",".join(row) for row in table) + "\n").encode("utf-8", "surrogateescape")
    if rng.random() < 0.25 or not mutations:
        data, kind = byte_mutation(rng, data)
        mutations.append(kind)
    options = ["--jobs", "1", "--out", "plan.csv"]
    if rng.random() < 0.4:
        options += ["--interval-minutes", rng.choice(["30", "30", "15", "60"])]
    if rng.random() < 0.3:
        options += ["--patience-mean", "120"]
    if rng.random() < 0.2:
        options += ["--max-abandon", "5"]
    if rng.random() < 0.25:
        options += ["--html", "plan.html"]
    if rng.random() < 0.1:
        options += ["--model", "chain"]
    if rng.random() < 0.1:
        options += ["--fractional"]
    if rng.random() < 0.05:
        options += ["--separator", ";", "--decimal", ","]
    return data, options, mutations


def part_fuzz(c):
    tally = c.tally("a. fuzzed forecasts (plan)")
    plan = c.program(PLAN)
    rng = random.Random(c.rng.random())
    bases = [(EXAMPLES / p).read_text() for p in ("day/forecast.csv", "week/forecast.csv", "day/roster.csv")]
    count = c.scaled(2700, 300)
    cases = [fuzz_case(rng, bases) for _ in range(count)]

    def one(case):
        data, options, mutations = case
        folder = c.case_dir("fuzz")
        forecast = folder / "forecast.csv"
        forecast.write_bytes(data)
        before = sha(forecast)
        argv = [plan, "forecast.csv"] + options
        result = run(argv, folder)
        faults = run_faults(result, PLAN)
        entries = set(os.listdir(folder))
        wanted = {"plan.csv"} | ({"plan.html"} if "--html" in options else set())
        if sha(forecast) != before:
            faults.append("input changed")
        if result.status == 2:
            if entries != {"forecast.csv"}:
                faults.append("output written on refusal")
        elif result.status in (0, 1):
            if entries != {"forecast.csv"} | wanted:
                faults.append("missing or stray file")
            else:
                text = (folder / "plan.csv").read_bytes()
                if not text.endswith(b"\n") or b"agents" not in text.split(b"\n", 1)[0]:
                    faults.append("plan incomplete")
                if "--html" in options and b"</html>" not in (folder / "plan.html").read_bytes():
                    faults.append("report incomplete")
        notes = [f"status {result.status}" if result.signal is None else "signal"]
        tally.add(faults, lambda: f"{shown(argv)}  [{', '.join(mutations)}]  status {result.status}: "
                                  f"{result.stderr.decode('utf-8', 'replace').strip()[-200:]!r}",
                  c.keeper("fuzz", folder, argv), notes)
        shutil.rmtree(folder, ignore_errors=True)

    with ThreadPoolExecutor(WORKERS) as pool:
        list(pool.map(one, cases))


# --------------------------------------------------------------------------
# b. Hostile command lines


def hostile_cases(rng):
    """(program, arguments, expected statuses or None for any of 0..2, the
    outputs the case names, setup) for every hostile line. The folder holds
    forecast.csv, shifts.csv, other.csv (the forecast again), INPUT.DAT,
    BINOMDIST.DAT, req.csv, tmpl.csv, old.csv (an earlier output) and sub/."""
    plan_base = ["forecast.csv", "--patience-mean", "120", "--jobs", "1"]
    sweep_base = ["--input", "INPUT.DAT", "--vary", "servers=10:12", "--at", "0.2", "--jobs", "1"]
    shifts_base = ["req.csv", "tmpl.csv", "--interval-minutes", "15", "--time-limit", "30"]
    cases = []

    def add(program, args, expect=None, setup=None, outputs=()):
        cases.append((program, args, expect, setup, outputs))

    # The same file as an input and an output, by its name, another path to
    # it, a symbolic or a hard link, through a linked folder.
    def aliases(name):
        return [
            (name, None),
            ("./" + name, None),
            ("sub/../" + name, None),
            ("alias-link", ("symlink", name, "alias-link")),
            ("alias-hard", ("hardlink", name, "alias-hard")),
            ("ABSOLUTE/" + name, None),
            ("dirlink/" + name, ("symlink", ".", "dirlink")),
            ("chain-link", ("chain", name, "chain-link")),
        ]

    for name in ("forecast.csv",):
        for alias, setup in aliases(name):
            for option in ("--out", "--html"):
                add(PLAN, plan_base + [option, alias], {2}, setup)
    for alias, setup in aliases("shifts.csv"):
        add(PLAN, plan_base + ["--shifts", "shifts.csv", "--roster", alias], {2}, setup)
    for alias, setup in aliases("other.csv"):
        add(PLAN, plan_base + ["--compare", "other.csv", "--out", alias], {2}, setup)
        add(PLAN, plan_base + ["--compare", "other.csv", "--html", alias], {2}, setup)
    add(PLAN, plan_base + ["--shifts", "shifts.csv", "--roster", "forecast.csv"], {2})
    add(PLAN, plan_base + ["--shifts", "forecast.csv", "--roster", "r.csv"], None)
    for name in ("INPUT.DAT", "BINOMDIST.DAT"):
        for alias, setup in aliases(name):
            for option in ("--out", "--html"):
                add(SWEEP, sweep_base + [option, alias], {2}, setup)
    for name in ("req.csv", "tmpl.csv"):
        for alias, setup in aliases(name):
            for option in ("--out", "--coverage", "--html"):
                add(SHIFTS, shifts_base + [option, alias], {2}, setup)

    # One file for two outputs.
    for first, second in (("--out", "--html"), ("--out", "--roster"), ("--html", "--roster")):
        for alias, setup in (("x.csv", None), ("./x.csv", None), ("xlink", ("symlink", "x.csv", "xlink")),
                             ("old.csv", None), ("sub/../old.csv", None)):
            extra = ["--shifts", "shifts.csv"] if "--roster" in (first, second) else []
            target = "x.csv" if alias in ("./x.csv", "xlink") else alias
            add(PLAN, plan_base + extra + [first, target, second, alias], {2}, setup)
    for alias, setup in (("x.csv", None), ("./x.csv", None), ("xlink", ("symlink", "x.csv", "xlink")),
                         ("old.csv", None)):
        target = "x.csv" if alias in ("./x.csv", "xlink") else alias
        add(SWEEP, sweep_base + ["--out", target, "--html", alias], {2}, setup)
        for first, second in (("--out", "--coverage"), ("--out", "--html"), ("--coverage", "--html")):
            add(SHIFTS, shifts_base + [first, target, second, alias], {2}, setup)

    # Empty paths and missing values.
    for args in (["", "--jobs", "1"], plan_base + ["--out", ""], plan_base + ["--html", ""],
                 plan_base + ["--shifts", "", "--roster", "r.csv"], plan_base + ["--shifts", "shifts.csv", "--roster", ""],
                 plan_base + ["--compare", ""], plan_base + ["--out"], plan_base + ["--html"], ["forecast.csv", ""],
                 ["missing.csv"], ["sub"], ["/dev/null"], plan_base + ["--compare", "sub"],
                 plan_base + ["--shifts", "sub", "--roster", "r.csv"]):
        add(PLAN, args, {2})
    for args in (["--input", ""], sweep_base + ["--out", ""], sweep_base + ["--html", ""], sweep_base + ["--out"],
                 ["--input", "missing.dat", "--vary", "servers=1:2"], ["--input", "sub", "--vary", "servers=1:2"]):
        add(SWEEP, args, {1, 2})
    for args in (["", "tmpl.csv"], ["req.csv", ""], shifts_base + ["--out", ""], shifts_base + ["--coverage", ""],
                 shifts_base + ["--html", ""], ["req.csv"], ["req.csv", "tmpl.csv", "x.csv"], ["missing.csv", "tmpl.csv"],
                 ["sub", "tmpl.csv"], ["req.csv", "sub", "--interval-minutes", "15"]):
        add(SHIFTS, args, {2})

    # Absurd numbers. Every value is read as the option's type demands or
    # refused with status 2; a value accepted must still give an answer.
    absurd = ["0", "-1", "1e-300", "1e300", "1e309", "nan", "inf", "-inf", "99999999999999999999", "2147483648",
              "4294967297", "-2147483649", "0x10", "1e", "", " ", "1.5", "abc", "1\x01", "\x1b[31m5", "5" * 100,
              "0.0", "-0", "9" * 400, "1e-320", "١", "+5", "5 ", "½"]
    plan_numbers = {
        "--interval-minutes": lambda v: [v], "--max-abandon": lambda v: [v], "--max-asa": lambda v: [v],
        "--max-occupancy": lambda v: [v], "--shrinkage": lambda v: [v], "--hours-per-fte": lambda v: [v],
        "--patience-mean": lambda v: [v], "--lines": lambda v: [v], "--waiting-places": lambda v: [v],
        "--max-agents": lambda v: [v], "--jobs": lambda v: [v], "--sl": lambda v: [rng.choice([v + "/20", "80/" + v])],
        "--patience": lambda v: [rng.choice(["erlang:", "lognormal:"]) + v],
        "--compare": lambda v: [rng.choice(["calls=", "aht="]) + v + rng.choice(["", "%"])],
    }
    for option, value_of in plan_numbers.items():
        for value in rng.sample(absurd, 12):
            base = ["forecast.csv", "--jobs", "1"] if option == "--jobs" else plan_base
            add(PLAN, base + [option] + value_of(value), None, outputs=("p.csv",))
    sweep_numbers = {
        "--set": lambda v: [rng.choice(["servers=", "waitingPlaces=", "arrivalRate=", "serviceRate=",
                                        "abandonParam1=", "momentInterval=", "inversionTerms="]) + v],
        "--vary": lambda v: [rng.choice(["servers=1:", "servers=" + v + ":3", "arrivalRate=1:2:", "arrivalRate=" + v + ",1",
                                         "waitingPlaces=0:"]) + (v if rng.random() < 0.5 else "")],
        "--at": lambda v: [v],
        "--staff-max": lambda v: [v, "--staff", "--target", "SL(0.2)>=0.8"],
        "--target": lambda v: [rng.choice(["SL(" + v + ")>=0.8", "P(A)<=" + v, "ASA<=" + v]), "--staff"],
        "--jobs": lambda v: [v],
        "--shard": lambda v: [rng.choice([v + "/4", "0/" + v, v + "/" + v])],
    }
    for option, value_of in sweep_numbers.items():
        for value in rng.sample(absurd, 12):
            base = ["--input", "INPUT.DAT", "--vary", "servers=10:12"]
            add(SWEEP, base + [option] + value_of(value), None, outputs=("s.csv",))
    for option in ("--interval-minutes", "--max-starts", "--time-limit"):
        for value in rng.sample(absurd, 12):
            base = ["req.csv", "tmpl.csv", "--time-limit", "30"] if option != "--time-limit" else ["req.csv", "tmpl.csv",
                                                                                                   "--interval-minutes", "15"]
            add(SHIFTS, base + [option, value], None, outputs=("r.csv",))

    # --jobs at its extremes, with work to share.
    for value in ("1", "2", "64", "1024", "1025", "0", "-1", "4294967296", "1e3"):
        add(PLAN, ["week.csv", "--jobs", value, "--out", "p.csv"], None)
        add(SWEEP, ["--input", "INPUT.DAT", "--vary", "servers=5:40", "--vary", "arrivalRate=1:20:0.5", "--jobs", value,
                    "--out", "s.csv"], None)
    # 1e-300 and huge waiting rooms where they are taken.
    add(PLAN, plan_base + ["--waiting-places", "13376", "--out", "p.csv"], None)
    add(PLAN, plan_base + ["--lines", "67108863", "--out", "p.csv"], None)
    add(PLAN, plan_base + ["--waiting-places", "13377", "--out", "p.csv"], {2})
    add(SWEEP, ["--input", "INPUT.DAT", "--set", "waitingPlaces=13376", "--set", "maxTime=0.01", "--at", "1e-300",
                "--out", "s.csv"], None)
    add(SWEEP, ["--input", "INPUT.DAT", "--set", "arrivalRate=1e-300", "--at", "0.2", "--out", "s.csv"], None)
    add(SWEEP, ["--input", "INPUT.DAT", "--set", "abandonParam1=1e-300", "--at", "0.2", "--out", "s.csv"], None)
    add(SWEEP, ["--input", "INPUT.DAT", "--set", "arrivalRate=1e300", "--staff", "--target", "SL(0.2)>=0.8",
                "--out", "s.csv"], None)
    add(PLAN, plan_base + ["--interval-minutes", "1e-300", "--out", "p.csv"], {2})
    return cases


def prepare_hostile(folder):
    shutil.copy(EXAMPLES / "day/forecast.csv", folder / "forecast.csv")
    shutil.copy(EXAMPLES / "day/forecast.csv", folder / "other.csv")
    shutil.copy(EXAMPLES / "week/forecast.csv", folder / "week.csv")
    shutil.copy(EXAMPLES / "day/shifts.csv", folder / "shifts.csv")
    shutil.copy(EXAMPLES / "typical/INPUT.DAT", folder / "INPUT.DAT")
    shutil.copy(EXAMPLES / "typical/BINOMDIST.DAT", folder / "BINOMDIST.DAT")
    shutil.copy(EXAMPLES / "shifts/day-requirements.csv", folder / "req.csv")
    shutil.copy(EXAMPLES / "shifts/day-templates.csv", folder / "tmpl.csv")
    (folder / "old.csv").write_text("an earlier output\n")
    (folder / "sub").mkdir()


def part_hostile(c):
    tally = c.tally("b. hostile command lines")
    rng = random.Random(c.rng.random())
    cases = hostile_cases(rng)

    def one(case):
        program, args, expect, setup, _ = case
        folder = c.case_dir("hostile")
        prepare_hostile(folder)
        if setup:
            kind, source, name = setup
            if kind == "symlink":
                os.symlink(source, folder / name)
            elif kind == "hardlink":
                os.link(folder / source, folder / name)
            elif kind == "chain":
                os.symlink(source, folder / (name + "-1"))
                os.symlink(name + "-1", folder / name)
        args = [a.replace("ABSOLUTE", str(folder)) for a in args]
        before = snapshot(folder)
        argv = [c.program(program)] + args
        result = run(argv, folder)
        faults = run_faults(result, program)
        after = snapshot(folder)
        if expect is not None and result.status is not None and result.status not in expect:
            faults.append(f"status {result.status}, expected {'/'.join(map(str, sorted(expect)))}")
        changed = [name for name in before if after.get(name) != before[name]]
        if changed:
            faults.append("input or old file changed")
        added = set(after) - set(before)
        if result.status == 2 and added:
            faults.append("output written on refusal")
        if any(name.startswith(".") for name in added):
            faults.append("temporary file left")
        tally.add(faults, lambda: f"{shown(argv)}  status {result.status} signal {result.signal}: "
                                  f"{result.stderr.decode('utf-8', 'replace').strip()[-200:]!r}",
                  c.keeper("hostile", folder, argv), [f"status {result.status}"])
        shutil.rmtree(folder, ignore_errors=True)

    with ThreadPoolExecutor(WORKERS) as pool:
        list(pool.map(one, cases))
    read_only_folder(c, tally)


def read_only_folder(c, tally):
    """An earlier output, writable, in a folder that takes no new file: the
    programs refuse it (status 1) and leave it untouched (they never write in
    place). Run as nobody where the campaign runs as root."""
    root = os.geteuid() == 0
    cases = [
        (PLAN, ["../forecast.csv", "--jobs", "1", "--out", "old.csv"]),
        (PLAN, ["../forecast.csv", "--jobs", "1", "--out", "new.csv", "--html", "old.csv"]),
        (SWEEP, ["--input", "../INPUT.DAT", "--vary", "servers=10:12", "--out", "old.csv"]),
        (SWEEP, ["--input", "../INPUT.DAT", "--vary", "servers=10:12", "--html", "old.csv"]),
        (SHIFTS, ["../req.csv", "../tmpl.csv", "--interval-minutes", "15", "--out", "old.csv"]),
        (SHIFTS, ["../req.csv", "../tmpl.csv", "--interval-minutes", "15", "--coverage", "old.csv"]),
    ]
    for program, args in cases:
        folder = c.case_dir("readonly")
        prepare_hostile(folder)
        for entry in folder.iterdir():
            if entry.is_file():
                os.chmod(entry, 0o644)
        locked = folder / "locked"
        locked.mkdir()
        (locked / "old.csv").write_text("an earlier output\n")
        os.chmod(locked / "old.csv", 0o666)
        os.chmod(locked, 0o555)
        before = sha(locked / "old.csv")
        argv = [c.program(program)] + args
        result = run(argv, locked, as_nobody=root)
        faults = run_faults(result, program)
        if result.status != 1:
            faults.append(f"read-only folder: status {result.status}, expected 1")
        if sha(locked / "old.csv") != before or sorted(os.listdir(locked)) != ["old.csv"]:
            faults.append("read-only folder: old file changed")
        tally.add(faults, lambda: f"(read-only folder) {shown(argv)}  status {result.status}: "
                                  f"{result.stderr.decode('utf-8', 'replace').strip()[-200:]!r}",
                  notes=[f"status {result.status}"])
        os.chmod(locked, 0o755)
        shutil.rmtree(folder, ignore_errors=True)


# --------------------------------------------------------------------------
# c. Signals into long runs


def long_forecast(intervals):
    return "interval,calls,aht\n" + "".join(f"{i},{50 + i % 400},300\n" for i in range(intervals))


def part_kills(c):
    tally = c.tally("c. signals into long runs")
    rng = random.Random(c.rng.random())
    plan, sweep = c.program(PLAN), c.program(SWEEP)
    setups = {
        "plan": ([plan, "forecast.csv", "--patience", "lognormal:1", "--patience-mean", "120", "--interval-minutes",
                  "30", "--jobs", "2", "--out", "out.csv"], ["out.csv"]),
        "plan+html": ([plan, "forecast.csv", "--patience", "erlang:2", "--patience-mean", "120", "--interval-minutes",
                       "30", "--jobs", "2", "--out", "out.csv", "--html", "out.html"], ["out.csv", "out.html"]),
        "sweep": ([sweep, "--input", "INPUT.DAT", "--vary", "servers=5:54", "--vary", "arrivalRate=0.02:200:0.02",
                   "--jobs", "2", "--out", "out.csv"], ["out.csv"]),
        "sweep+html": ([sweep, "--input", "INPUT.DAT", "--vary", "servers=5:54", "--vary", "arrivalRate=0.04:200:0.04",
                        "--at", "0.2", "--jobs", "2", "--out", "out.csv", "--html", "out.html"], ["out.csv", "out.html"]),
    }
    template = c.scratch / "kill-template"
    template.mkdir()
    (template / "forecast.csv").write_text(long_forecast(c.scaled(5000, 2500)))
    shutil.copy(EXAMPLES / "typical/INPUT.DAT", template / "INPUT.DAT")
    shutil.copy(EXAMPLES / "typical/BINOMDIST.DAT", template / "BINOMDIST.DAT")
    old = {name: f"an earlier {name}, to be replaced whole or not at all\n".encode() * 100 for name in ("out.csv",
                                                                                                        "out.html")}
    # The complete outputs, and how long a run takes.
    reference = {}
    # The shortest whole run seen so far, which the signals' times follow:
    # on a shared machine a run's length varies by a factor of two.
    shortest = {}
    for key, (argv, outputs) in setups.items():
        folder = c.scratch / f"kill-reference-{key.replace('+', '-')}"
        shutil.copytree(template, folder)
        result = measured(argv, folder)
        if result.status not in (0, 1) or run_faults(result, os.path.basename(argv[0])):
            sys.exit(f"reliability: the reference run {shown(argv)} failed: status {result.status}, "
                     f"{result.stderr.decode('utf-8', 'replace')[-300:]}")
        reference[key] = ({name: sha(folder / name) for name in outputs}, result.wall)
        shortest[key] = result.wall
        c.figures.append((f"kill target {key}: whole run", f"{result.wall:.2f} s wall, {result.cpu:.2f} s CPU, "
                                                          f"{result.maxrss_kb / 1024:.0f} MB"))
    total = c.scaled(320, 40)
    plan_of = []
    for i in range(total):
        key = list(setups)[i % len(setups)]
        sig = [signal.SIGINT, signal.SIGTERM, signal.SIGINT, signal.SIGTERM, signal.SIGKILL][(i // len(setups)) % 5]
        # Most signals while it computes, some near the end, where the
        # output is being put in place.
        share = rng.uniform(0.0, 0.85) if rng.random() < 0.75 else rng.uniform(0.85, 1.02)
        plan_of.append((key, sig, share))
    latencies = []
    outcomes = Counter()
    leftovers = 0
    for key, sig, share in plan_of:
        argv, outputs = setups[key]
        delay = share * shortest[key]
        folder = c.case_dir("kill")
        for entry in template.iterdir():
            shutil.copy(entry, folder / entry.name)
        for name in outputs:
            (folder / name).write_bytes(old[name])
        inputs = {name: sha(folder / name) for name in ("forecast.csv", "INPUT.DAT", "BINOMDIST.DAT")}
        result = run(argv, folder, send=(sig, delay))
        program = os.path.basename(argv[0])
        faults = []
        if result.timed_out:
            faults.append("timeout")
        elif result.signal is not None and result.signal in CRASH_SIGNALS:
            faults.append(f"crash ({signal_name(result.signal)})")
        if any(mark in result.stderr for mark in SANITIZER_MARKS):
            faults.append("sanitizer report")
        if result.sent and sig != signal.SIGKILL:
            latencies.append(result.exit_after_signal)
            if result.exit_after_signal > PROMPT_EXIT:
                faults.append(f"not prompt (over {PROMPT_EXIT:g} s after {signal_name(sig)})")
        if not result.sent and result.status not in (0, 1):
            faults.append(f"exit status {result.status} without a signal")
        states = []
        for name in outputs:
            digest = sha(folder / name) if (folder / name).exists() else None
            if digest == hashlib.sha256(old[name]).hexdigest():
                states.append("untouched")
            elif digest == reference[key][0][name]:
                states.append("replaced")
            elif digest is None:
                faults.append(f"{name} removed")
            else:
                faults.append(f"{name} partial")
        if any(sha(folder / name) != digest for name, digest in inputs.items()):
            faults.append("input changed")
        strays = sorted(set(os.listdir(folder)) - set(outputs) - set(inputs))
        if strays:
            if sig == signal.SIGKILL:
                leftovers += len(strays)
            else:
                faults.append("temporary file left")
        if not result.sent:
            outcome = "finished before the signal"
            shortest[key] = min(shortest[key], result.wall)
        else:
            outcome = f"{signal_name(sig)}: " + ("/".join(sorted(set(states))) or "?")
        outcomes[outcome] += 1
        ended = f"signal {signal_name(result.signal)}" if result.signal else f"status {result.status}"
        tally.add(faults, lambda: f"{key} {signal_name(sig)} at {delay:.3f} s ({ended}, exit "
                                  f"{result.exit_after_signal or 0:.3f} s after it, outputs {states}, "
                                  f"strays {strays}): {shown(argv)}",
                  c.keeper("kill", folder, argv), [outcome])
        shutil.rmtree(folder, ignore_errors=True)
    if latencies:
        latencies.sort()
        c.figures.append(("signal to exit (SIGINT, SIGTERM)",
                          f"median {latencies[len(latencies) // 2] * 1000:.0f} ms, 95th percentile "
                          f"{latencies[int(len(latencies) * 0.95)] * 1000:.0f} ms, max {latencies[-1] * 1000:.0f} ms "
                          f"over {len(latencies)} runs"))
    kills = sum(1 for _, sig, _ in plan_of if sig == signal.SIGKILL)
    c.figures.append(("files left after SIGKILL", f"{leftovers} in {kills} runs"))
    for outcome, count in sorted(outcomes.items()):
        c.figures.append((f"  outcome {outcome}", str(count)))


# --------------------------------------------------------------------------
# d. The Python module


PROBE_CHILD = r"""
import json, math, os, signal, sys, warnings
from decimal import Decimal
from fractions import Fraction
import numpy as np
import queuecalc as qc

# Arguments as the probes name them: a valid centre and forecast.
E = qc.Exponential(0.5)
def C(servers=10, arrival_rate=9.5, service_rate=1, waiting_places=20, patience=E):
    return qc.CallCentre(servers, arrival_rate, service_rate, waiting_places, patience)
FORECAST = sys.argv[1]
REQ, TMPL = sys.argv[2], sys.argv[3]
probes = json.loads(sys.stdin.readline())
for probe in probes:
    print("BEGIN", probe["id"], flush=True)
    record = {"id": probe["id"]}
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            value = eval(probe["call"])
            record.update(outcome="answered", answer=repr(value)[:100])
        except BaseException as error:
            if isinstance(error, (KeyboardInterrupt, SystemExit)):
                raise
            record.update(outcome="raised", type=type(error).__name__,
                          allowed=isinstance(error, (TypeError, ValueError)) and not isinstance(error, UnicodeError),
                          input_error=isinstance(error, qc.InputError), message=str(error)[:2000],
                          length=len(str(error)))
    record["warnings"] = [str(w.message)[:200] for w in caught]
    print("END", json.dumps(record), flush=True)
"""

INTERRUPT_CHILD = r"""
import sys
import numpy as np
import queuecalc as qc
call = sys.argv[1]
if call == "sweep":
    centre = qc.CallCentre(servers=10, arrival_rate=9.5, service_rate=1, waiting_places=20, patience=qc.Exponential(0.5))
    work = lambda: qc.sweep(centre, vary={"servers": range(5, 55), "arrival_rate": np.arange(0.01, 200, 0.01)}, at=0.2)
elif call == "staff":
    centre = qc.CallCentre(servers=1, arrival_rate=20000, service_rate=1, waiting_places=1000, patience=qc.Lognormal(2, 4))
    work = lambda: qc.staff(centre, ["SL(0.001)>=0.99"], model="chain", method="exact")
else:
    work = lambda: qc.plan(sys.argv[2], patience="lognormal:1", patience_mean=120, interval_minutes=30, jobs=2)
print("ready", flush=True)
try:
    work()
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
"""


def python_probes(rng):
    """(call, argument name, kind): each call must raise TypeError,
    ValueError or InputError; for a wrong kind of value the message names the
    argument."""
    # Not a number: each must be refused (Fraction and Decimal are numbers).
    wrong = ["True", "False", "np.bool_(True)", "'abc'", "'9.5'", "b'10'", "[]", "[1.0]", "(1,)", "{}", "object()",
             "1+2j", "np.array([1.0, 2.0])", "'\\x1b[31m1'", "'x' * 10000"]
    wrong_whole = wrong + ["2.5", "Decimal('2.5')", "Fraction(1, 3)"]
    bad_real = ["float('nan')", "float('inf')", "float('-inf')", "-1.0", "10**400", "-10**400", "np.float64('nan')"]
    bad_whole = ["-1", "10**400", "2**31", "2**63", "-2**31 - 1", "float('nan')", "float('inf')", "1e300", "-10**20"]
    probes = []

    def add(template, name, values, kind):
        for value in values:
            probes.append((template.format(v=value), name, kind))

    # CallCentre and its patience.
    add("C(servers={v}).measures()", "servers", wrong_whole, "type")
    add("C(servers={v}).measures()", "servers", bad_whole, "value")
    add("C(waiting_places={v}).measures()", "waiting_places", [w for w in wrong_whole if w != "None"], "type")
    add("C(waiting_places={v}).measures()", "waiting_places", bad_whole + ["13377"], "value")
    add("C(arrival_rate={v}).measures()", "arrival_rate", wrong + ["None"], "type")
    add("C(arrival_rate={v}).measures()", "arrival_rate", bad_real, "value")
    add("C(service_rate={v}).measures()", "service_rate", wrong, "type")
    add("C(service_rate={v}).measures()", "service_rate", bad_real + ["0"], "value")
    add("C(patience={v}).measures()", "patience", ["None", "0.5", "'exponential'", "True", "E.rate", "[E]"], "type")
    add("C(patience=qc.Exponential({v})).measures()", "rate", wrong, "type")
    add("C(patience=qc.Exponential({v})).measures()", "rate", bad_real, "value")
    add("C(patience=qc.Erlang({v}, 1.0)).measures()", "phases", wrong, "type")
    add("C(patience=qc.Erlang({v}, 1.0)).measures()", "phases", bad_real + ["0", "13", "10**6"], "value")
    add("C(patience=qc.Lognormal(2.0, {v})).measures()", "variance", wrong, "type")
    add("C(patience=qc.Lognormal({v}, 1.0)).measures()", "mean", bad_real + ["0"], "value")
    # Methods' arguments.
    add("C().service_level({v})", "tau", wrong, "type")
    add("C().service_level({v})", "tau", bad_real, "value")
    add("C().waiting_time_cdf({v})", "times", ["True", "'abc'", "'0.2'", "object()", "[True]", "[None]", "{}",
                                               "1+2j"], "type")
    add("C().waiting_time_cdf({v})", "times", ["[]", "np.array([])", "[float('nan')]", "[0.1, float('inf')]",
                                               "[-0.1]", "[[0.1]]", "10**400"], "value")
    add("C().service_level(0.2, 'euler', model='chain', terms={v})", "terms", wrong_whole[:-2], "type")
    add("C().service_level(0.2, 'euler', model='chain', terms={v})", "terms", ["0", "-1", "10**400", "2**31"], "value")
    add("C().service_level(0.2, {v}, model='chain')", "method", ["1", "True", "'fast'", "[]", "b'euler'"], "type")
    add("C().measures(model={v})", "model", ["1", "True", "'approx'", "None", "[]", "''"], "type")
    # Staffing and sweeps.
    add("qc.staff(C(), {v})", "targets", ["[]", "()", "[1]", "[True]", "[None]", "['SL(20)']", "['']", "[b'SL(0.2)>=0.8']",
                                          "['SL(0.2)>=nan']", "['SL(0.2)>=1']", "'x' * 10000"], "value")
    add("qc.staff(C(), ['SL(0.2)>=0.8'], limit={v})", "limit", wrong_whole, "type")
    add("qc.staff(C(), ['SL(0.2)>=0.8'], limit={v})", "limit", ["-1", "0", "10**400", "2**31"], "value")
    add("qc.staff(C(), ['SL(0.2)>=0.8'], field={v})", "field", ["1", "True", "'agents'", "None"], "type")
    add("qc.staff({v}, ['SL(0.2)>=0.8'])", "centre", ["None", "1", "'centre'", "E"], "type")
    add("qc.sweep(C(), vary={{'servers': {v}}})", "servers", ["[]", "range(0)", "[True]", "['10']", "[2.5]", "[None]",
                                                              "[10**400]"], "value")
    # A scenario the model rejects is a row with its note, as in the program.
    add("qc.sweep(C(), vary={{'servers': {v}}})", "servers", ["[-1]", "[10, -1]"], "row")
    add("qc.sweep(C(), vary={{'arrival_rate': {v}}})", "arrival_rate", ["[]", "[True]", "['abc']", "[None]",
                                                                        "[10**400]", "[float('nan')]"], "value")
    add("qc.sweep(C(), vary={v})", "vary", ["{'agents': [1]}", "{'patience': [1.0]}", "{'patience': []}",
                                            "{1: [1]}", "[('servers', [1])]"], "value")
    add("qc.sweep(C(), at={v})", "at", ["True", "[True]", "'abc'", "[None]", "float('nan')", "[-1.0]", "10**400",
                                        "object()"], "value")
    add("qc.sweep(C(), jobs={v})", "jobs", wrong_whole[:-2] + ["0", "-1", "10**400"], "type")
    # The day plan.
    for name in ("max_abandon", "max_occupancy", "shrinkage"):
        add("qc.plan(FORECAST, " + name + "={v})", name, ["True", "False", "np.bool_(False)", "[]", "object()", "b'5'",
                                                          "'abc'", "float('nan')", "float('inf')", "-5", "1", "1+2j",
                                                          "10**400"], "value")
    for name in ("max_asa", "patience_mean", "interval_minutes"):
        add("qc.plan(FORECAST, " + name + "={v})", name, ["True", "'abc'", "'30'", "[]", "object()", "float('nan')",
                                                          "float('inf')", "-1", "0", "10**400"], "value")
    for name in ("lines", "waiting_places", "max_agents", "jobs"):
        add("qc.plan(FORECAST, " + name + "={v})", name, ["True", "'5'", "2.5", "[]", "float('nan')", "-1", "10**400",
                                                          "2**31"], "value")
    add("qc.plan(FORECAST, fractional={v})", "fractional", ["1", "0", "'yes'", "'True'", "None", "1.0", "[]"], "type")
    add("qc.plan(FORECAST, sl={v})", "sl", ["80", "True", "[]", "'80'", "'80/'", "'/20'", "'nan/20'", "'80/inf'"],
        "value")
    add("qc.plan(FORECAST, patience={v}, patience_mean=120)", "patience", ["1", "True", "'erlang:0'", "'erlang:nan'",
                                                                           "'lognormal:-1'", "'weibull'"], "value")
    add("qc.plan(FORECAST, model={v})", "model", ["1", "True", "'approx'", "None"], "type")
    add("qc.plan({v})", "forecast", ["None", "1", "True", "[]", "''", "'missing.csv'", "b'x'", "object()", "'.'"], "value")
    add("qc.plan(FORECAST, compare={v})", "compare", ["1", "True", "['calls=+10%', 1]", "'calls=nan'", "'aht=-100%'"],
        "value")
    add("qc.schedule(REQ, TMPL, interval_minutes={v})", "interval_minutes", ["True", "'15'", "2.5", "0", "-15", "7",
                                                                             "10**400", "[]", "None"], "value")
    add("qc.schedule(REQ, TMPL, interval_minutes=15, max_starts={v})", "max_starts", ["True", "'4'", "0", "-1", "2.5",
                                                                                      "10**400", "[]"], "value")
    add("qc.schedule(REQ, TMPL, interval_minutes=15, time_limit={v})", "time_limit", ["True", "'5'", "0", "-1",
                                                                                      "float('nan')", "float('inf')",
                                                                                      "10**400", "[]"], "value")
    add("qc.schedule({v}, TMPL, interval_minutes=15)", "requirements", ["None", "1", "[]", "''", "'missing.csv'", "'.'"],
        "value")
    add("qc.schedule(REQ, {v}, interval_minutes=15)", "templates", ["None", "1", "[]", "''", "'missing.csv'", "'.'"],
        "value")
    add("qc.run_folder({v})", "path", ["None", "1", "True", "'missing-folder'", "''", "FORECAST"], "value")
    rng.shuffle(probes)
    return probes


def python_environment(c):
    """PYTHONPATH for the module: --pythonpath, else the build's extension
    beside a copy of python/queuecalc in the scratch folder."""
    if c.args.pythonpath:
        return c.args.pythonpath
    built = glob.glob(str(c.build / "python" / "module" / "_queuecalc*.so"))
    if not built:
        return None
    folder = c.scratch / "python"
    shutil.copytree(ROOT / "python" / "queuecalc", folder / "queuecalc")
    shutil.copy(built[0], folder / "queuecalc")
    return str(folder)


def part_python(c):
    tally = c.tally("d. Python probes")
    path = python_environment(c)
    env = dict(os.environ, PYTHONPATH=path or "", PYTHONDONTWRITEBYTECODE="1")
    check = subprocess.run([c.args.python, "-c", "import queuecalc"], env=env, capture_output=True, text=True,
                           cwd=c.scratch)
    if path is None or check.returncode != 0:
        c.remarks.append(f"d. skipped: queuecalc does not import with {c.args.python} "
                         f"(PYTHONPATH={path}): {check.stderr.strip()[-200:]}")
        return
    rng = random.Random(c.rng.random())
    probes = python_probes(rng)
    folder = c.case_dir("python")
    shutil.copy(EXAMPLES / "day/forecast.csv", folder / "forecast.csv")
    shutil.copy(EXAMPLES / "shifts/day-requirements.csv", folder / "req.csv")
    shutil.copy(EXAMPLES / "shifts/day-templates.csv", folder / "tmpl.csv")
    remaining = list(enumerate(probes))
    results = {}
    long_messages = 0
    while remaining:
        child = subprocess.Popen([c.args.python, "-c", PROBE_CHILD, "forecast.csv", "req.csv", "tmpl.csv"], cwd=folder,
                                 env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 text=True)
        child.stdin.write(json.dumps([{"id": i, "call": p[0]} for i, p in remaining]) + "\n")
        child.stdin.flush()
        current = None
        deadline = [time.monotonic() + CASE_TIMEOUT]
        timer_stop = threading.Event()

        def watchdog():
            while not timer_stop.wait(0.5):
                if time.monotonic() > deadline[0]:
                    child.kill()
                    return

        watcher = threading.Thread(target=watchdog, daemon=True)
        watcher.start()
        for line in child.stdout:
            if line.startswith("BEGIN "):
                current = int(line.split()[1])
                deadline[0] = time.monotonic() + CASE_TIMEOUT
            elif line.startswith("END "):
                record = json.loads(line[4:])
                results[record["id"]] = record
                current = None
        child.wait()
        timer_stop.set()
        err = child.stderr.read()
        done = set(results)
        if current is not None:
            killed = time.monotonic() > deadline[0]
            results[current] = {"id": current, "outcome": "timeout" if killed else "crash",
                                "answer": f"status {child.returncode}: {err.strip()[-300:]}"}
            done.add(current)
        remaining = [(i, p) for i, p in remaining if i not in done]
        if remaining and current is None:
            for i, _ in remaining:
                results[i] = {"id": i, "outcome": "crash", "answer": f"child ended: {err.strip()[-300:]}"}
            remaining = []
    for i, (call, name, kind) in enumerate(probes):
        record = results[i]
        faults = []
        if record["outcome"] in ("crash", "timeout"):
            faults.append(record["outcome"])
        elif record["outcome"] == "answered":
            if not (kind == "row" and record["warnings"]):
                faults.append("answered with a warning" if record["warnings"] else "answered silently")
        elif not record["allowed"]:
            faults.append(f"raised {record['type']}")
        elif kind == "type" and name not in record["message"] and not record["input_error"]:
            faults.append("message does not name the argument")
        if record.get("length", 0) > LONGEST_MESSAGE_LINE:
            long_messages += 1
        tally.add(faults, lambda: f"{call}: {record.get('type', '')} {record.get('answer', '')}"
                                  f"{record.get('message', '')[:160]!r} {record['warnings'][:1]}",
                  notes=[record["outcome"]])
    if long_messages:
        c.remarks.append(f"d. {long_messages} Python messages are longer than {LONGEST_MESSAGE_LINE} characters "
                         "(they echo the value whole)")
    python_interrupts(c, env, folder)


def python_interrupts(c, env, folder):
    """Ctrl-C into qc.sweep, qc.staff and qc.plan at random times: each
    raises KeyboardInterrupt within a second."""
    tally = c.tally("d. Python Ctrl-C")
    rng = random.Random(c.rng.random())
    (folder / "long.csv").write_text(long_forecast(40000))
    times = []
    for i in range(c.scaled(15, 3)):
        call = ["sweep", "staff", "plan"][i % 3]
        child = subprocess.Popen([c.args.python, "-c", INTERRUPT_CHILD, call, "long.csv"], cwd=folder, env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                 preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        faults = []
        answer = ""
        try:
            ready = child.stdout.readline().strip()
            if ready != "ready":
                faults.append("did not start")
            else:
                time.sleep(rng.uniform(0.05, 2.0))
                sent = time.monotonic()
                os.kill(child.pid, signal.SIGINT)
                answer = child.stdout.readline().strip()
                took = time.monotonic() - sent
                times.append(took)
                if answer != "interrupted":
                    faults.append(f"no KeyboardInterrupt ({answer or 'no answer'})")
                elif took > PROMPT_EXIT:
                    faults.append(f"KeyboardInterrupt after {PROMPT_EXIT:g} s")
            status = child.wait(timeout=30)
            if status != 0:
                faults.append(f"exit status {status}")
        except subprocess.TimeoutExpired:
            faults.append("timeout")
        finally:
            if child.poll() is None:
                child.kill()
                child.wait()
        tally.add(faults, f"qc.{call}: {faults} {child.stderr.read()[-200:]!r}")
    if times:
        c.figures.append(("Python Ctrl-C to KeyboardInterrupt", f"max {max(times) * 1000:.0f} ms over {len(times)}"))


# --------------------------------------------------------------------------
# e. Big cases


def part_big(c):
    tally = c.tally("e. big cases")
    plan, sweep = c.program(PLAN), c.program(SWEEP)
    folder = c.case_dir("big")
    (folder / "huge.csv").write_text("interval,calls,aht\n08:00,1000000000,300\n")
    shutil.copy(EXAMPLES / "typical/INPUT.DAT", folder / "INPUT.DAT")
    shutil.copy(EXAMPLES / "typical/BINOMDIST.DAT", folder / "BINOMDIST.DAT")
    (folder / "big.csv").write_text(long_forecast(c.scaled(4000, 1000)))

    def figure(label, result):
        c.figures.append((label, f"{result.wall:.2f} s wall, {result.cpu:.2f} s CPU, {result.maxrss_kb / 1024:.1f} MB, "
                                 f"status {result.status}"))

    # One interval of 10^9 calls: refused before any work, naming the limit.
    argv = [plan, "huge.csv", "--interval-minutes", "30", "--out", "huge-plan.csv"]
    result = measured(argv, folder)
    figure("plan: one interval of 1e9 calls", result)
    faults = run_faults(result, PLAN)
    if result.status != 2 or b"10000000" not in result.stderr.replace(b",", b""):
        faults.append("1e9 calls: not refused with the limit named")
    if result.wall > 1.0 or result.maxrss_kb > 64 * 1024:
        faults.append("1e9 calls: refusal not immediate")
    if (folder / "huge-plan.csv").exists():
        faults.append("output written on refusal")
    tally.add(faults, f"{shown(argv)}: {result.stderr[-200:]!r}")

    # A sweep of 10^6 rows with and without its charts.
    grid = ["--input", "INPUT.DAT", "--vary", "servers=5:54", "--vary", "arrivalRate=0.01:200:0.01"]
    plain = measured([sweep] + grid + ["--out", "grid.csv"], folder, timeout=300)
    charted = measured([sweep] + grid + ["--out", "grid2.csv", "--html", "grid.html"], folder, timeout=300)
    figure("sweep 10^6 rows", plain)
    figure("sweep 10^6 rows with --html", charted)
    faults = run_faults(plain, SWEEP) + run_faults(charted, SWEEP)
    rows = sum(1 for _ in open(folder / "grid.csv", "rb")) if (folder / "grid.csv").exists() else 0
    if rows != 1_000_001:
        faults.append(f"sweep 10^6 rows: {rows} lines")
    if charted.maxrss_kb > plain.maxrss_kb + 64 * 1024:
        faults.append("sweep --html: memory grows with the grid")
    if (folder / "grid.html").exists():
        c.figures.append(("  its page", f"{(folder / 'grid.html').stat().st_size / 1e6:.1f} MB"))
    tally.add(faults, f"sweep 10^6 rows: {plain.maxrss_kb} KB plain, {charted.maxrss_kb} KB with --html")
    for name in ("grid.csv", "grid2.csv", "grid.html"):
        (folder / name).unlink(missing_ok=True)

    # A big plan on one thread and on two; its progress line on a terminal.
    intervals = c.scaled(4000, 1000)
    common = ["big.csv", "--patience", "lognormal:1", "--patience-mean", "120", "--interval-minutes", "30"]
    one = measured([plan] + common + ["--jobs", "1", "--out", "one.csv"], folder, timeout=600)
    two = measured([plan] + common + ["--jobs", "2", "--out", "two.csv"], folder, timeout=600, stderr_pty=True)
    figure(f"plan {intervals} intervals --jobs 1", one)
    figure(f"plan {intervals} intervals --jobs 2", two)
    faults = run_faults(one, PLAN) + run_faults(two, PLAN, terminal=True)
    if one.status is not None and two.status is not None and sha(folder / "one.csv") != sha(folder / "two.csv"):
        faults.append("--jobs 1 and 2 plan differently")
    if two.maxrss_kb > one.maxrss_kb * 1.5 + 16 * 1024:
        faults.append("plan memory grows with --jobs")
    progress = b"intervals" in two.stderr and b"of" in two.stderr
    c.figures.append(("  progress line on a terminal", "shown" if progress else "not shown"))
    if two.wall > 1.5 and not progress:
        faults.append("no progress line on a terminal for a run over a second")
    tally.add(faults, f"plan {intervals} intervals: {one.maxrss_kb} KB one thread, {two.maxrss_kb} KB two")
    shutil.rmtree(folder, ignore_errors=True)


# --------------------------------------------------------------------------


def report(c, started):
    print()
    print(f"{'part':<32} {'cases':>7} {'passed':>7} {'failed':>7}")
    for t in c.tallies:
        print(f"{t.name:<32} {t.cases:>7} {t.passed:>7} {t.failed:>7}")
    total = sum(t.cases for t in c.tallies)
    failed = sum(t.failed for t in c.tallies)
    print(f"{'all':<32} {total:>7} {total - failed:>7} {failed:>7}")
    for t in c.tallies:
        if t.notes:
            print(f"\n{t.name}: outcomes: " + ", ".join(f"{k} {v}" for k, v in sorted(t.notes.items())))
        if t.faults:
            print(f"{t.name}: failures by kind:")
            for kind, count in t.faults.most_common():
                print(f"  {count:>5}  {kind}")
                for example in t.examples[kind]:
                    print(f"         e.g. {example}")
    print("\nbig cases and timings:")
    for label, value in c.figures:
        print(f"  {label:<42} {value}")
    for remark in c.remarks:
        print(f"\nnote: {remark}")
    print(f"\nseed {c.args.seed}{' (quick)' if c.args.quick else ''}; {time.monotonic() - started:.0f} s; "
          + (f"failing cases kept in {c.keep_dir}" if failed else "no failure"))
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build folder with the programs")
    parser.add_argument("--seed", type=int, default=1, help="seed of every random choice (default 1)")
    parser.add_argument("--quick", action="store_true", help="about a tenth of the cases")
    parser.add_argument("--parts", default="abcde", help="the parts to run (default abcde)")
    parser.add_argument("--python", default="/usr/bin/python3",
                        help="the interpreter for the module's probes (default /usr/bin/python3, which sees "
                             "Debian's numpy)")
    parser.add_argument("--pythonpath", help="where `import queuecalc` finds the module (default: the build's "
                                             "extension with python/queuecalc)")
    parser.add_argument("--verbose", action="store_true", help="list every failing case, not the first three of a kind")
    parser.add_argument("--keep", help="folder for failing cases (default BUILD/reliability-failures)")
    args = parser.parse_args()
    # Children must start with SIGINT and SIGTERM at their defaults, also
    # when the campaign itself runs in the background.
    for number in (signal.SIGINT, signal.SIGTERM):
        if signal.getsignal(number) == signal.SIG_IGN:
            signal.signal(number, signal.SIG_DFL)
    c = Campaign(args)
    started = time.monotonic()
    parts = {"a": part_fuzz, "b": part_hostile, "c": part_kills, "d": part_python, "e": part_big}
    try:
        for key in args.parts:
            t0 = time.monotonic()
            parts[key](c)
            print(f"part {key}: {time.monotonic() - t0:.0f} s", file=sys.stderr, flush=True)
        failed = report(c, started)
    finally:
        shutil.rmtree(c.scratch, ignore_errors=True)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
