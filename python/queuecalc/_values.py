"""The checks of the arguments: whole numbers, numbers and switches, each
refused with InputError naming the argument where its kind is wrong (a bool
is no number here, and a number is no switch)."""

import operator
from typing import Any

import numpy as np

from ._errors import InputError

# The largest value of a whole-number field of the programs (a C int).
_LARGEST_WHOLE = 2**31 - 1
# What the model holds at most, for the messages of values beyond any field:
# agents and waiting places together (four arrays of s + r + 1 doubles), and
# waiting places (the programs' published limit).
_LIMITS = {
    "servers": "at most 67108863 agents and waiting places together",
    "waiting_places": "at most 13376 waiting places",
}


def _is_bool(value: Any) -> bool:
    return isinstance(value, (bool, np.bool_))


def _whole(name: str, value: Any) -> int:
    """A whole number (an int, or a float without a fraction) within the
    range of the programs' whole-number fields."""
    if _is_bool(value):
        raise InputError(f"{name} takes a whole number, not {value!r}")
    try:
        whole = operator.index(value)
    except TypeError:
        if isinstance(value, (float, np.floating)) and np.isfinite(value) and float(value).is_integer():
            whole = int(value)
        else:
            raise InputError(f"{name} takes whole numbers only, not {value!r}") from None
    if not -_LARGEST_WHOLE - 1 <= whole <= _LARGEST_WHOLE:
        limit = _LIMITS.get(name, f"from {-_LARGEST_WHOLE - 1} to {_LARGEST_WHOLE}")
        raise InputError(f"{name} = {whole} is beyond what the model takes: {limit}")
    return whole


def _real(name: str, value: Any) -> float:
    if _is_bool(value):
        raise InputError(f"{name} takes a number, not {value!r}")
    try:
        return float(value)
    except (TypeError, ValueError):
        raise InputError(f"{name} takes a number, not {value!r}") from None


def _switch(name: str, value: Any) -> bool:
    if not _is_bool(value):
        raise InputError(f"{name} takes True or False, not {value!r}")
    return bool(value)


def _reals(name: str, values: Any) -> np.ndarray:
    """One number or a sequence of them as a 1-d float array (at least one
    element); a bool among them is refused."""
    if isinstance(values, np.ndarray) and values.dtype.kind in "iuf":
        return np.atleast_1d(values.astype(float))
    given = np.atleast_1d(np.asarray(values, dtype=object))
    return np.array([_real(name, v) for v in given.ravel()], dtype=float).reshape(given.shape)
