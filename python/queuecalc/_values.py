"""The checks of the arguments: whole numbers, numbers and switches, each
refused with InputError naming the argument where its kind is wrong (a bool
is no number here, a text no number, and a number no switch)."""

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
# As many characters of a value as the programs echo (kEchoCharacters).
_ECHO_CHARACTERS = 60


def _echo(text: str) -> str:
    """A text fit for a one-line message, as the programs echo theirs: at
    most 60 characters, a longer one cut and ended with "...", the control
    characters (below 0x20, DEL and the C1 controls) written as their UTF-8
    bytes \\xHH."""
    shown = []
    for character in text[:_ECHO_CHARACTERS]:
        point = ord(character)
        if point < 0x20 or point == 0x7F:
            shown.append(f"\\x{point:02x}")
        elif 0x80 <= point <= 0x9F:
            shown.append(f"\\xc2\\x{point:02x}")
        elif 0xD800 <= point <= 0xDFFF:  # a stray byte kept by surrogateescape, or a lone surrogate
            shown.append(f"\\x{point & 0xFF:02x}")
        else:
            shown.append(character)
    return "".join(shown) + ("..." if len(text) > _ECHO_CHARACTERS else "")


def _shown(value: Any) -> str:
    """A value as a message echoes it: its repr, cut as the programs cut echoed input."""
    return _echo(repr(value))


def _is_bool(value: Any) -> bool:
    return isinstance(value, (bool, np.bool_))


def _whole(name: str, value: Any) -> int:
    """A whole number (an int, or a float without a fraction) within the
    range of the programs' whole-number fields."""
    if _is_bool(value):
        raise InputError(f"{name} takes a whole number, not {_shown(value)}")
    try:
        whole = operator.index(value)
    except TypeError:
        if isinstance(value, (float, np.floating)) and np.isfinite(value) and float(value).is_integer():
            whole = int(value)
        else:
            raise InputError(f"{name} takes whole numbers only, not {_shown(value)}") from None
    if not -_LARGEST_WHOLE - 1 <= whole <= _LARGEST_WHOLE:
        limit = _LIMITS.get(name, f"from {-_LARGEST_WHOLE - 1} to {_LARGEST_WHOLE}")
        raise InputError(f"{name} = {_shown(value)} is beyond what the model takes: {limit}")
    return whole


def _real(name: str, value: Any, kind: str = "a number") -> float:
    """A real number (int, float, numpy's, Fraction, Decimal) as a float;
    ``kind`` says what the argument takes. Text, bytes, bools, complex
    numbers and arrays are refused, and a number beyond a float's range."""
    if (_is_bool(value) or isinstance(value, (str, bytes, bytearray, memoryview, complex, np.complexfloating))
            or (isinstance(value, np.ndarray) and value.ndim > 0)):
        raise InputError(f"{name} takes {kind}, not {_shown(value)}")
    try:
        return float(value)
    except OverflowError:
        raise InputError(f"{name} = {_shown(value)} is beyond the range of a number (about 1.8e308)") from None
    except (TypeError, ValueError):
        raise InputError(f"{name} takes {kind}, not {_shown(value)}") from None


def _switch(name: str, value: Any) -> bool:
    if not _is_bool(value):
        raise InputError(f"{name} takes True or False, not {_shown(value)}")
    return bool(value)


def _reals(name: str, values: Any, *, empty: bool = False) -> np.ndarray:
    """One number or a sequence of them as a float array of at least one
    dimension (at least one element unless ``empty``); a bool or a text
    among them is refused."""
    if isinstance(values, np.ndarray) and values.dtype.kind in "iuf":
        array = np.atleast_1d(values.astype(float))
    else:
        given = np.atleast_1d(np.asarray(values, dtype=object))
        array = np.array([_real(name, v) for v in given.ravel()], dtype=float).reshape(given.shape)
    if array.size == 0 and not empty:
        raise InputError(f"{name} takes at least one number, not {_shown(values)}")
    return array


def _moments(name: str, values: Any, *, empty: bool = False) -> np.ndarray:
    """Moments t (or thresholds tau): one number or a flat sequence of them,
    each finite and above 0, as the sweep's --at takes them."""
    moments = _reals(name, values, empty=empty)
    if moments.ndim != 1:
        raise InputError(f"{name} takes one number or a flat sequence of them, not {_shown(values)}")
    wrong = moments[~(np.isfinite(moments) & (moments > 0))]
    if wrong.size:
        raise InputError(f"{name} must be finite and above 0, not {_shown(float(wrong[0]))}")
    return moments
