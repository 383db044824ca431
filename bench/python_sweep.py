"""Times queuecalc.sweep on the grid of the sweep program's benchmark command.

    .venv/bin/python bench/python_sweep.py [METHOD [JOBS]]

The same 10,000 scenarios as
    build/queuecalc-sweep --input examples/typical/INPUT.DAT --vary servers=5:104 \\
        --vary arrivalRate=1:100:1 --at 0.2 --method METHOD --jobs JOBS
(the typical example's centre; METHOD exact by default, or euler or talbot with its 32 terms).
Prints the median of five calls after one warm-up: wall time, per scenario, and processor time
of all threads.
"""

import statistics
import sys
import time

import numpy as np

import queuecalc as qc

method = sys.argv[1] if len(sys.argv) > 1 else "exact"
jobs = int(sys.argv[2]) if len(sys.argv) > 2 else None
centre = qc.CallCentre(servers=10, arrival_rate=9.5, service_rate=1.0, waiting_places=20,
                       patience=qc.Exponential(0.5))
grid = dict(vary={"servers": range(5, 105), "arrival_rate": np.arange(1.0, 101.0)}, at=[0.2],
            method=method, terms=32, jobs=jobs)
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
