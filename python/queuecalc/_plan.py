"""A day of intervals staffed from a forecast, as the day-plan program plans it."""

import csv
import io
import os
from typing import Any, Dict, List, Optional, Union

import numpy as np

from . import _queuecalc
from ._analysis import _jobs
from ._centre import DEFAULT_MODEL, _warn
from ._errors import InputError
from ._values import _real, _shown, _switch, _whole

# The forecast's columns that hold numbers.
_NUMERIC_FORECAST = {"calls", "aht", "patience", "staffed", "scheduled"}


def _percent(name: str, value: Union[None, float, str]) -> Union[None, float, str]:
    """A share as a number or a text, read by the library as every share is:
    80, "80%", 0.8 and "0.8" all mean 80 %; a bare 1 is refused (1 % or
    100 %?). None: not given. Bytes are no text here."""
    if value is None or isinstance(value, str):
        return value
    return _real(name, value, "a share such as 0.05, 5 or '5%'")


def _text(name: str, value: Any) -> Optional[str]:
    """A value written as text (a shape, a method), or None."""
    if value is not None and not isinstance(value, str):
        raise InputError(f"{name} takes a text such as the program's option value, not {_shown(value)}")
    return value


def _number(name: str, value: Any) -> Optional[float]:
    """A number of seconds or minutes, or None."""
    return None if value is None else _real(name, value)


def _count(name: str, value: Any) -> Optional[int]:
    """A whole number, or None."""
    return None if value is None else _whole(name, value)


# The plan's columns of agent counts: whole numbers unless fractional.
_COUNTS = ("agents", "scheduled", "waiting places", "required", "on hand", "gap")


class _Table(dict):
    """The table as a dict of numpy arrays (without pandas), with the
    totals in ``attrs["totals"]`` as a DataFrame has them."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.attrs: Dict[str, Any] = {}


def _table(text: str, forecast_header: List[str], intervals: int, fractional: bool):
    """The plan's CSV as a DataFrame of its interval rows (a dict of numpy
    arrays without pandas): the forecast's columns as written (text,
    calls/aht/patience/staffed/scheduled as numbers), the plan's columns as
    numbers (agent counts whole unless ``fractional``), the note as text; an
    empty cell of a number is NaN. The totals rows (per day and for all)
    are ``attrs["totals"]``, a table of the same columns."""
    header = next(csv.reader(io.StringIO(text)))
    as_text = [c for c in header
               if c == "note" or (c in forecast_header and c.strip().lower() not in _NUMERIC_FORECAST)]
    # The forecast's numbers as written, decimal commas too ("280,5").
    decimal = [c for c in header if c in forecast_header and c not in as_text]
    counts = [] if fractional else [c for c in _COUNTS if c in header and c not in forecast_header]
    try:
        import pandas
    except ImportError:
        rows = list(csv.reader(io.StringIO(text)))[1:]

        def columns(part, whole):
            table = _Table()
            for j, name in enumerate(header):
                cells = [r[j] for r in part]
                if name in as_text:
                    table[name] = np.array(cells, dtype=object)
                else:
                    table[name] = np.array([float(c.replace(",", ".")) if c else np.nan for c in cells], dtype=float)
                    if whole and name in counts and not np.isnan(table[name]).any():
                        table[name] = table[name].astype(np.int64)
            return table

        table = columns(rows[:intervals], True)
        table.attrs["totals"] = columns(rows[intervals:], False)
        return table
    frame = pandas.read_csv(io.StringIO(text), dtype={c: str for c in as_text + decimal}, keep_default_na=False,
                            na_values={c: [""] for c in header if c not in as_text}, float_precision="round_trip")
    for name in decimal:
        frame[name] = pandas.to_numeric(frame[name].str.replace(",", ".", regex=False))
    day, totals = frame.iloc[:intervals].copy(), frame.iloc[intervals:].reset_index(drop=True)
    for name in counts:
        day[name] = day[name].astype("int64" if day[name].notna().all() else "Int64")
    day.attrs["totals"] = totals
    return day


def plan(
    forecast: Any,
    sl: Optional[str] = "80/20",
    *,
    max_abandon: Union[None, float, str] = None,
    max_asa: Optional[float] = None,
    max_occupancy: Union[None, float, str] = None,
    shrinkage: Union[None, float, str] = None,
    interval_minutes: Optional[float] = None,
    patience: Optional[str] = None,
    patience_mean: Optional[float] = None,
    lines: Optional[int] = None,
    waiting_places: Optional[int] = None,
    max_agents: Optional[int] = None,
    model: str = DEFAULT_MODEL,
    method: Optional[str] = None,
    fractional: bool = False,
    jobs: Optional[int] = None,
    compare: Union[None, str, List[str]] = None,
):
    """Staffs every interval of a forecast: the day-plan program
    (queuecalc-plan) as a function, with the same table.

    ``forecast``: a pandas DataFrame or a path to a CSV file with the columns
    ``interval``, ``calls`` (offered calls per interval) and ``aht``
    (average handle time, seconds), optional ``patience`` (mean patience,
    seconds) and ``staffed`` (agents on hand); other columns are carried
    through. The keywords are the program's options: ``sl="80/20"`` (None:
    no service-level target), ``max_abandon``, ``max_occupancy`` and
    ``shrinkage`` as shares (0.05) or as the program's text ("5%"),
    ``max_asa`` and ``patience_mean`` in seconds, ``interval_minutes``,
    ``patience`` ("exponential", "erlang:K", "lognormal:CV"), ``lines`` or
    ``waiting_places``, ``max_agents``, ``model`` ("exact", the default, or
    "chain", as for CallCentre), ``method`` (the chain's: "exact", "euler",
    "talbot"; given with the exact model it raises InputError),
    ``fractional``, ``jobs`` (intervals planned side by side; default every
    core), ``compare`` (variants planned beside the forecast, as the
    program's --compare: "calls=+10%", "aht=-15" or a forecast file; one or
    a list; each adds "agents (VARIANT)" and "agent-hours (VARIANT)"). Defaults are the program's (its ``--help``).

    Returns the plan's table, one row per interval, as a DataFrame (a dict
    of numpy arrays without pandas): the values the program's CSV holds, as
    it prints them, agent counts as whole numbers unless ``fractional``.
    The CSV's totals rows (one per day with a date or day column, then the
    total of all) are ``table.attrs["totals"]``, a table of the same
    columns, so that ``table["agents"].sum()`` counts agents. A forecast or value
    the program refuses raises InputError with its message, naming the
    keyword; intervals that
    miss a target come as an AccuracyWarning (their note says why)."""
    # The program's default "80/20" counts as not given, so that a staffed
    # column asks the reverse question; None is no service-level target.
    service = "none" if sl is None else None if sl == "80/20" else _text("sl", sl)
    targets = {name: value for name, value in (("max_abandon", _percent("max_abandon", max_abandon)),
                                               ("max_asa", _number("max_asa", max_asa)),
                                               ("max_occupancy", _percent("max_occupancy", max_occupancy)))
               if value is not None}
    variants = [os.fspath(v) if isinstance(v, os.PathLike) else _text("compare", v)
                for v in ([compare] if isinstance(compare, str) else (compare or []))]
    if hasattr(forecast, "to_csv"):
        text, name = forecast.to_csv(index=False, lineterminator="\n"), "forecast"
    else:
        text, name = "", os.fspath(forecast)
    cores = os.cpu_count() or 1
    data, header, findings, intervals = _queuecalc.plan(
        text, name, service, targets, _percent("shrinkage", shrinkage), _number("interval_minutes", interval_minutes),
        _text("patience", patience), _number("patience_mean", patience_mean), _count("lines", lines),
        _count("waiting_places", waiting_places), _count("max_agents", max_agents), model, _text("method", method),
        _switch("fractional", fractional), cores if jobs is None else _jobs(jobs), variants)
    _warn(findings, 2)
    return _table(data, header, intervals, bool(fractional))
