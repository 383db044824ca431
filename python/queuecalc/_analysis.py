"""Many scenarios at once: staffing searches and what-if sweeps."""

import collections.abc
import os
import warnings
from typing import Any, Dict, Iterable, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from . import _queuecalc
from ._centre import DEFAULT_MODEL, CallCentre, _method, _warn
from ._errors import InputError, InputWarning
from ._patience import Patience
from ._values import _moments, _real, _shown, _whole

# Constructor argument -> the field of the programs (and the sweep's column).
_FIELDS = {
    "servers": "servers",
    "arrival_rate": "arrivalRate",
    "service_rate": "serviceRate",
    "waiting_places": "waitingPlaces",
}
_WHOLE = {"servers", "waiting_places"}
# An answer that loses more than this share of the calls meets its targets
# partly by turning callers away: the programs' warning threshold.
_LOSS_WARNING = 0.01
# The most threads the programs' --jobs takes.
_MAX_JOBS = 1024


def staff(
    centre: CallCentre,
    targets: Sequence[str],
    field: str = "servers",
    *,
    model: str = DEFAULT_MODEL,
    method: Optional[str] = None,
    terms: Optional[int] = None,
    limit: Optional[int] = None,
) -> Tuple[int, Dict[str, float]]:
    """The smallest number of agents (``field="servers"``) or waiting places
    (``field="waiting_places"``, for the centre's agents) that meets every
    target, and the measures there, as ``(count, measures)``.

    ``targets``: strings such as ``"SL(20)>=0.8"``, ``"P(A)<=0.05"``,
    ``"ASA<=30"``, ``"P(W<=20|S)>=0.9"`` over the sweep's columns. The search
    and its limit (``limit``, a whole number from 1; by default 2 ceil(lambda/mu) +
    1000 agents or 1000 waiting places) are the sweep's ``--staff``; ``model``, ``method``
    and ``terms`` those of CallCentre.service_level. Raises InputError when
    no count up to the limit meets the targets."""
    if not isinstance(centre, CallCentre):
        raise InputError(f"centre must be a CallCentre, not {_shown(centre)}")
    if field not in ("servers", "waiting_places"):
        raise InputError(f'field must be "servers" or "waiting_places", not {_shown(field)}')
    if isinstance(targets, str):
        targets = [targets]
    targets = list(targets)
    if not targets:
        raise InputError("targets: give at least one, such as \"SL(20)>=0.8\" or \"P(A)<=0.05\"")
    for target in targets:
        if not isinstance(target, str):
            raise InputError(f"targets take text such as \"SL(20)>=0.8\", not {_shown(target)}")
    method, terms, default_terms = _method(method, terms)
    count, names, values, findings = _queuecalc.staff(
        centre._fields(default_terms), targets, _FIELDS[field], model, method, terms,
        0 if limit is None else _limit(limit)
    )
    _warn(findings, 2)
    measures = dict(zip(names, values))
    if measures.get("P(Loss)", 0) > _LOSS_WARNING:
        warnings.warn(f"the answer meets the targets while {measures['P(Loss)']:.2%} of the calls are lost "
                      f"(P(Loss) above {_LOSS_WARNING:g}): the waiting room turns callers away; give more "
                      f"waiting_places or a target such as \"P(Loss)<={_LOSS_WARNING:g}\"", InputWarning, stacklevel=2)
    return count, measures


def _limit(limit: Any) -> int:
    """The largest count the staffing search tries: a whole number from 1,
    as the sweep's --staff-max takes it."""
    largest = _whole("limit", limit)
    if largest < 1:
        raise InputError(f"limit takes a whole number from 1 (None: the default), not {_shown(limit)}")
    return largest


def _jobs(jobs: Any) -> int:
    """Threads: a whole number from 1; more than the programs' --jobs takes
    (1024) run as that many."""
    threads = _whole("jobs", jobs)
    if threads < 1:
        raise InputError(f"jobs takes a whole number of threads from 1, not {_shown(jobs)}")
    return min(threads, _MAX_JOBS)


def _dimension(name: str, values: Iterable[Any]) -> Tuple[Any, np.ndarray]:
    """One varied argument: the library's dimension and the table's column.
    Its values are those the sweep's --vary takes: real values finite."""
    if name != "patience" and name not in _FIELDS:
        raise InputError(f"vary: no argument named {_shown(name)} (choose from {', '.join([*_FIELDS, 'patience'])})")
    if isinstance(values, (str, bytes)):
        raise TypeError(f"vary: {name} takes a sequence of values, not {_shown(values)}")
    try:
        points = list(values)
    except TypeError:
        raise TypeError(f"vary: {name} takes a sequence of values, not {_shown(values)}") from None
    if not points:
        raise InputError(f"vary: {name} has no values")
    if name == "patience":
        for p in points:
            if not isinstance(p, Patience):
                raise InputError(f"vary: patience takes Exponential, Erlang or Lognormal, not {_shown(p)}")
        names = list(points[0]._fields())
        rows = [[float(p._fields()[n]) for n in names] for p in points]
        column = np.empty(len(points), dtype=object)
        column[:] = points
        return _queuecalc.Dimension(names, rows), column
    if name in _WHOLE:
        column = np.array([_whole(name, v) for v in points], dtype=np.int64)
    else:
        column = np.array([_real(name, v) for v in points], dtype=float)
        for value, point in zip(column, points):
            if not np.isfinite(value):
                raise InputError(f"vary: {name} takes finite numbers, not {_shown(point)}")
    return _queuecalc.Dimension([_FIELDS[name]], [[float(v)] for v in column]), column


def sweep(
    centre: CallCentre,
    vary: Optional[Mapping[str, Iterable[Any]]] = None,
    at: Union[float, Sequence[float]] = (),
    *,
    model: str = DEFAULT_MODEL,
    method: Optional[str] = None,
    terms: Optional[int] = None,
    jobs: Optional[int] = None,
):
    """Every scenario of a grid around ``centre``, one row each, with the
    sweep program's columns.

    ``vary`` maps constructor argument names (``servers``, ``arrival_rate``,
    ``service_rate``, ``waiting_places``, ``patience``) to their values; the
    grid is every combination, the last name varying fastest. ``at``: the
    thresholds tau of the columns SL(tau) and P(W<=tau|S), each finite and
    above 0; the values of ``vary`` finite. The columns: the
    varied fields under the sweep's names (``arrivalRate``, ...; ``patience``
    holds the patience objects), the fifteen measures, the analyst's
    measures, three columns per tau (SL(tau), its error bound bound(tau),
    empty where the chain's euler and talbot give none, and P(W<=tau|S)), and
    ``note`` (empty unless the scenario has no values; then it says why).
    Returns a pandas DataFrame, or a dict of numpy arrays without pandas.
    ``model``, ``method`` and ``terms``: those of CallCentre.service_level;
    ``jobs``: threads (default: every core).
    """
    method, terms, default_terms = _method(method, terms)
    if not isinstance(centre, CallCentre):
        raise InputError(f"centre must be a CallCentre, not {_shown(centre)}")
    moments = _moments("at", at, empty=True).tolist()
    if vary is not None and not isinstance(vary, collections.abc.Mapping):
        raise TypeError("vary takes a dict of argument names to their values, such as "
                        f"{{'servers': range(8, 13)}}, not {_shown(vary)}")
    dimensions, names, columns = [], [], []
    for name, values in (vary or {}).items():
        dimension, column = _dimension(name, values)
        dimensions.append(dimension)
        names.append(_FIELDS.get(name, name))
        columns.append(column)
    threads = (os.cpu_count() or 1) if jobs is None else _jobs(jobs)
    result_names, values, notes, findings = _queuecalc.sweep(centre._fields(default_terms), dimensions, moments,
                                                             model, method, terms, threads)
    _warn(findings, 2)
    table: Dict[str, np.ndarray] = {}
    sizes = [len(c) for c in columns]
    for i, (name, column) in enumerate(zip(names, columns)):
        inner = int(np.prod(sizes[i + 1:], dtype=np.int64))
        outer = int(np.prod(sizes[:i], dtype=np.int64))
        table[name] = np.tile(np.repeat(column, inner), outer)
    for j, name in enumerate(result_names):
        table[name] = values[:, j]
    table["note"] = np.array(notes, dtype=object)
    try:
        import pandas
    except ImportError:
        return table
    return pandas.DataFrame(table)
