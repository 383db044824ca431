"""One call centre: its measures, service level and waiting-time distribution."""

import warnings
from dataclasses import dataclass
from typing import Dict, Iterable, Optional, Sequence, Tuple, Union

import numpy as np

from . import _queuecalc
from ._errors import AccuracyWarning, InputError, InputWarning
from ._patience import Erlang, Exponential, Lognormal, Patience
from ._values import _echo, _moments, _real, _shown, _whole

PatienceModel = Union[Exponential, Erlang, Lognormal]

#: The model of the queue when none is named, as in the programs: the queue
#: itself (M/M/s/(s+r)+GI for any patience), each value with a bound of its
#: error. ``"chain"`` is the calculator's birth-and-death approximation, exact
#: for exponential patience only, whose numbers are the calculator's.
DEFAULT_MODEL = "exact"
MODELS = ("exact", "chain")
#: The chain's method of the waiting-time distribution when none is named:
#: the exact distribution (uniformization) with a certified bound on its
#: error. The exact model has no method.
DEFAULT_METHOD = "exact"
#: Terms of the chain's numerical inversions when none are given: where each
#: is most accurate on small and medium centres (Euler 20 to 24, Talbot 32).
#: The exact method and the exact model take none.
DEFAULT_TERMS = {"exact": 24, "euler": 24, "talbot": 32}
METHODS = ("exact", "euler", "talbot")


def _warn(findings: Iterable[Tuple[str, str]], stacklevel: int) -> None:
    """Each finding of the library as a Python warning, pointing at the caller."""
    for kind, text in findings:
        category = InputWarning if kind == "input" else AccuracyWarning
        warnings.warn(text, category, stacklevel=stacklevel + 1)


def _method(method: Optional[str], terms: Optional[int]) -> Tuple[Optional[str], Optional[int], int]:
    """(method, terms as given, the terms of the fields): None stays None,
    for the library to decide with the model (which it checks them
    against); the fields hold the method's default terms."""
    if method is not None and method not in METHODS:
        raise InputError(f'Unknown method "{_echo(str(method))}": choose one of {", ".join(METHODS)}.')
    default = DEFAULT_TERMS[DEFAULT_METHOD if method is None else method]
    if terms is None:
        return method, None, default
    return method, _whole("terms", terms), default


@dataclass(frozen=True)
class WaitingTimeCdf:
    """The waiting-time distribution of served callers at given moments.

    ``times``: the moments t; ``values``: P(W <= t | S) at each;
    ``bound``: a bound on the absolute error of each value (the exact
    model's, or the chain's exact method's), or None where the chain's
    method gives none (euler, talbot)."""

    times: np.ndarray
    values: np.ndarray
    bound: Optional[np.ndarray]


@dataclass(frozen=True)
class CallCentre:
    """A call centre as the M/GI/s/r + GI queue.

    ``servers`` agents (s), ``arrival_rate`` calls per time unit (lambda),
    ``service_rate`` calls one agent completes per time unit (mu),
    ``waiting_places`` places in the queue beyond the agents (r; a call that
    finds all s + r taken is lost; None, the default: the day plan's
    automatic room, the fewest places that keep P(Loss) below 1e-9 for the
    centre's agents, also when ``staff`` or ``sweep`` change the agents),
    and the callers' ``patience``
    (Exponential, Erlang or Lognormal). All rates and times share one time
    unit. Immutable; ``dataclasses.replace(centre, servers=12)`` gives a
    changed copy. Values the programs reject raise InputError on use.

    Every method that computes takes ``model``: ``"exact"`` (the default,
    as in the programs: the queue itself, each value with a bound of its
    error) or ``"chain"`` (the calculator's birth-and-death approximation,
    exact for exponential patience only, its numbers the calculator's). The
    chain alone takes ``method`` ("exact", "euler" or "talbot"; None: its
    exact method) and ``terms`` (of euler and talbot); given with the exact
    model they raise InputError.
    """

    servers: int
    arrival_rate: float
    service_rate: float
    waiting_places: Optional[int] = None
    patience: Optional[PatienceModel] = None

    def __post_init__(self) -> None:
        object.__setattr__(self, "servers", _whole("servers", self.servers))
        if self.waiting_places is not None:
            object.__setattr__(self, "waiting_places", _whole("waiting_places", self.waiting_places))
        object.__setattr__(self, "arrival_rate", _real("arrival_rate", self.arrival_rate))
        object.__setattr__(self, "service_rate", _real("service_rate", self.service_rate))
        if not isinstance(self.patience, Patience):
            raise InputError(f"patience must be Exponential, Erlang or Lognormal, not {_shown(self.patience)}")

    def _fields(self, terms: int = DEFAULT_TERMS["euler"]) -> Dict[str, float]:
        fields = {
            "servers": self.servers,
            "waitingPlaces": 0 if self.waiting_places is None else self.waiting_places,
            "serviceRate": self.service_rate,
            "arrivalRate": self.arrival_rate,
            "inversionTerms": terms,
        }
        fields.update(self.patience._fields())
        if self.waiting_places is None:
            room = _queuecalc.automatic_room(fields)
            if room is None:
                raise InputError("waiting_places=None (the automatic room): no room of up to 2000 places keeps "
                                 "P(Loss) below 1e-9 for these agents; give waiting_places")
            fields["waitingPlaces"] = room
        return fields

    def measures(self, *, model: str = DEFAULT_MODEL) -> Dict[str, float]:
        """The fifteen measures and the analyst's measures of ``model``,
        keyed by the sweep's column names: "RHO", "P(Loss)", "P(NoWait)",
        "P(S)", "P(A)", "E[W,S]", ..., "Var(W|A)", "occupancy", "ASA",
        "meanQueueLength", "abandonRate"."""
        names, values, findings = _queuecalc.evaluate(self._fields(), [], model, None, None)
        _warn(findings, 2)
        return dict(zip(names, values))

    def service_level(self, tau: float, method: Optional[str] = None, *, model: str = DEFAULT_MODEL,
                      terms: Optional[int] = None) -> float:
        """SL(tau): the share of all offered calls answered within ``tau``,
        (1 - P(Loss)) (P(NoWait) + P(0 < W <= tau, S)), as the sweep's column
        SL(tau), of ``model``. ``method`` (the chain's): "exact" (None, its
        default), "euler" or "talbot" (with ``terms``)."""
        method, terms, default_terms = _method(method, terms)
        tau = _real("tau", tau)
        names, values, findings = _queuecalc.evaluate(self._fields(default_terms), [tau], model, method, terms)
        _warn(findings, 2)
        return next(v for n, v in zip(names, values) if n.startswith("SL("))

    def waiting_time_cdf(
        self, times: Union[float, Sequence[float], np.ndarray], method: Optional[str] = None, *,
        model: str = DEFAULT_MODEL, terms: Optional[int] = None
    ) -> WaitingTimeCdf:
        """P(W <= t | S), the waiting-time distribution of served callers, at
        each of ``times`` (each > 0), of ``model``, with a bound on its error
        where the model or the chain's method gives one (all but euler and
        talbot)."""
        method, terms, default_terms = _method(method, terms)
        moments = _moments("times", times)
        values, bound, findings = _queuecalc.waiting_time(self._fields(default_terms), moments.tolist(), model,
                                                          method, terms)
        _warn(findings, 2)
        return WaitingTimeCdf(times=moments, values=values, bound=bound)
