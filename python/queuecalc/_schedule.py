"""Shifts and breaks of least cost that cover the agents required per
interval, as the shift program (queuecalc-shifts) schedules them."""

import csv
import io
import os
from dataclasses import dataclass
from typing import Any, Dict, Optional

import numpy as np

from . import _queuecalc
from ._errors import InputError
from ._values import _real, _shown, _whole

# The columns of the roster and the coverage that hold whole numbers.
_COUNTS = {"agents", "working", "on_break"}
_NUMBERS = {"required", "over", "under"}
# The longest time limit a search takes (the library's, as the shift
# program's --time-limit): a week.
_MOST_SECONDS = int(_queuecalc.MOST_TIME_LIMIT)


def _frame(text: str):
    """CSV as a DataFrame (a dict of numpy arrays without pandas): counts as
    integers, requirements and over- and under-cover as numbers, the rest
    (days, times, break groups) as text."""
    header = next(csv.reader(io.StringIO(text)))
    try:
        import pandas
    except ImportError:
        rows = list(csv.reader(io.StringIO(text)))[1:]
        table: Dict[str, np.ndarray] = {}
        for j, name in enumerate(header):
            cells = [r[j] for r in rows]
            if name in _COUNTS:
                table[name] = np.array([int(c) for c in cells], dtype=np.int64)
            elif name in _NUMBERS:
                table[name] = np.array([float(c) for c in cells], dtype=float)
            else:
                table[name] = np.array(cells, dtype=object)
        return table
    kinds = {c: (np.int64 if c in _COUNTS else float if c in _NUMBERS else str) for c in header}
    return pandas.read_csv(io.StringIO(text), dtype=kinds, keep_default_na=False)


def _source(name: str, value: Any):
    """(CSV text, name) of a DataFrame, or ("", path) of a file."""
    if hasattr(value, "to_csv"):
        return value.to_csv(index=False, lineterminator="\n"), name
    try:
        return "", os.fspath(value)
    except TypeError:
        raise InputError(f"{name} takes a DataFrame or a path to a CSV file, not {_shown(value)}") from None


@dataclass(frozen=True)
class Schedule:
    """A roster and what it costs. ``roster``: template, day, start, end,
    agents, break_starts (one row per template, day and start);
    ``coverage``: day, interval, required, working, on_break, over, under;
    ``cost`` of the roster, ``bound`` (no roster costs less), ``gap`` =
    (cost - bound) / cost; ``optimal`` when proven; ``note`` says why not
    (the time limit) and is empty otherwise."""

    roster: Any
    coverage: Any
    cost: float
    bound: float
    gap: float
    optimal: bool
    note: str


def schedule(
    requirements: Any,
    templates: Any,
    *,
    interval_minutes: int = 30,
    column: Optional[str] = None,
    max_starts: Optional[int] = None,
    time_limit: float = 120,
) -> Schedule:
    """Schedules shifts: the program queuecalc-shifts as a function.

    ``requirements`` and ``templates`` are DataFrames or paths to CSV files
    in the program's formats (the README's "From requirements to shifts"):
    requirements ``day`` (optional), ``interval`` (HH:MM), ``required``, or a
    plan's table with ``column="scheduled"`` or ``"agents"``; templates one
    row each. ``interval_minutes``, ``max_starts`` (distinct start times a
    day) and ``time_limit`` (elapsed seconds, above 0 and at most a week) are the program's options.

    Returns a Schedule. A file the program refuses, requirements no roster
    can cover (the intervals named) and a time limit reached before any
    roster raise InputError with the program's message."""
    minutes = _whole("interval_minutes", interval_minutes)
    starts = None if max_starts is None else _whole("max_starts", max_starts)
    if column not in (None, "scheduled", "agents"):
        raise InputError(f"column takes 'scheduled' or 'agents', not {_shown(column)}")
    limit = _real("time_limit", time_limit)
    if not 0 < limit <= _MOST_SECONDS:  # NaN too
        raise InputError(f"time_limit takes seconds above 0, at most {_MOST_SECONDS} (a week), "
                         f"not {_shown(time_limit)}")
    r_text, r_name = _source("requirements", requirements)
    t_text, t_name = _source("templates", templates)
    roster, coverage, cost, bound, gap, optimal, note = _queuecalc.schedule(
        r_text, r_name, t_text, t_name, minutes, column or "", starts, limit)
    return Schedule(_frame(roster), _frame(coverage), cost, bound, gap, optimal, note)
