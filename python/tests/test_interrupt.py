"""Ctrl-C during a long computation raises KeyboardInterrupt within a second,
not once the work is done."""

import os
import signal
import subprocess
import sys
import time

import pytest

# A person who presses Ctrl-C waits no longer than this for the prompt.
INTERRUPT_WITHIN = 1.0
# Long enough for the call to be well under way (each takes half a minute
# or more uninterrupted).
RUN_BEFORE_SIGNAL = 0.5

PREAMBLE = """
import sys
import numpy as np
import queuecalc as qc
"""

# Each call runs for half a minute or more, in steps (rows, agent counts,
# intervals) of a few milliseconds.
LONG_CALLS = {
    "sweep": """
centre = qc.CallCentre(servers=10, arrival_rate=9.5, service_rate=1, waiting_places=20, patience=qc.Exponential(0.5))
work = lambda: qc.sweep(centre, vary={"servers": range(5, 55), "arrival_rate": np.arange(0.01, 200, 0.01)}, at=0.2)
""",
    # The chain's search falls back to counting up one agent at a time.
    "staff": """
centre = qc.CallCentre(servers=1, arrival_rate=20000, service_rate=1, waiting_places=1000, patience=qc.Lognormal(2, 4))
work = lambda: qc.staff(centre, ["SL(0.001)>=0.99"], model="chain", method="exact")
""",
    "plan": """
path = sys.argv[1]
with open(path, "w") as f:
    f.write("interval,calls,aht\\n" + "".join(f"{i},{50 + i % 400},300\\n" for i in range(40000)))
work = lambda: qc.plan(path, patience="lognormal:1", patience_mean=120, interval_minutes=30, jobs=2)
""",
}

WAIT_AND_REPORT = """
print("ready", flush=True)
try:
    work()
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
"""


@pytest.mark.parametrize("call", sorted(LONG_CALLS))
def test_ctrl_c_during_a_long_call_raises_keyboard_interrupt_within_a_second(call, tmp_path):
    script = PREAMBLE + LONG_CALLS[call] + WAIT_AND_REPORT
    # SIGINT at its default for Python (a test run in the background starts
    # its children with it ignored).
    child = subprocess.Popen([sys.executable, "-c", script, str(tmp_path / "forecast.csv")],
                             stdout=subprocess.PIPE, text=True,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(RUN_BEFORE_SIGNAL)
        sent = time.monotonic()
        os.kill(child.pid, signal.SIGINT)
        answer = child.stdout.readline().strip()
        took = time.monotonic() - sent
        assert answer == "interrupted"
        assert took < INTERRUPT_WITHIN, f"{call}: KeyboardInterrupt {took:.2f} s after Ctrl-C"
        assert child.wait(timeout=30) == 0
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
