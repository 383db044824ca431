"""Times queuecalc.sweep on the grid of the sweep program's benchmark command.

    .venv/bin/python bench/python_sweep.py [MODEL [JOBS]]

The same 10,000 scenarios as
    build/queuecalc-sweep --input examples/typical/INPUT.DAT --vary servers=5:104 \\
        --vary arrivalRate=1:100:1 --at 0.2 --model MODEL --jobs JOBS
(the typical example's centre; MODEL exact by default, or chain), or, for MODEL euler or talbot,
    ... --model chain --method MODEL
with the inversion's 32 terms.
Prints the median of five calls after one warm-up: wall time, per scenario, and processor time
of all threads.
"""

import statistics
import sys
import time

import numpy as np

import queuecalc as qc

model = sys.argv[1] if len(sys.argv) > 1 else "exact"
inversion = model in ("euler", "talbot")
jobs = int(sys.argv[2]) if len(sys.argv) > 2 else None
centre = qc.CallCentre(servers=10, arrival_rate=9.5, service_rate=1.0, waiting_places=20,
                       patience=qc.Exponential(0.5))
grid = dict(vary={"servers": range(5, 105), "arrival_rate": np.arange(1.0, 101.0)}, at=[0.2], jobs=jobs,
            **(dict(model="chain", method=model, terms=32) if inversion else dict(model=model)))
times, cpu = [], []
for _ in range(6):
    start, start_cpu = time.perf_counter(), time.process_time()
    table = qc.sweep(centre, **grid)
    times.append(time.perf_counter() - start)
    cpu.append(time.process_time() - start_cpu)
median, median_cpu = statistics.median(times[1:]), statistics.median(cpu[1:])
rows = len(table["RHO"])
print(f"{rows} scenarios: {median:.3f} s wall ({median / rows * 1e6:.1f} us a scenario), "
      f"{median_cpu:.3f} s processor time")
