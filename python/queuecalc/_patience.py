"""How long callers wait before they hang up: the three patience models."""

from dataclasses import dataclass
from typing import Dict

from ._values import _real


@dataclass(frozen=True)
class Exponential:
    """Exponential patience: callers hang up at a constant ``rate`` per time
    unit (mean patience ``1 / rate``). A rate of 0 means nobody abandons."""

    rate: float

    def __post_init__(self) -> None:
        _real("rate", self.rate)

    def _fields(self) -> Dict[str, float]:
        return {"abandonType": 0, "abandonParam1": float(self.rate), "abandonParam2": -1.0}


@dataclass(frozen=True)
class Erlang:
    """Erlang patience: ``phases`` (1 to 12) exponential phases in a row, each
    with ``rate`` per time unit (mean patience ``phases / rate``)."""

    phases: int
    rate: float

    def __post_init__(self) -> None:
        _real("phases", self.phases)
        _real("rate", self.rate)

    def _fields(self) -> Dict[str, float]:
        return {"abandonType": 1, "abandonParam1": float(self.rate), "abandonParam2": float(self.phases)}


@dataclass(frozen=True)
class Lognormal:
    """Lognormal patience with the given ``mean`` and ``variance`` (in the
    time unit of the rates, and its square)."""

    mean: float
    variance: float

    def __post_init__(self) -> None:
        _real("mean", self.mean)
        _real("variance", self.variance)

    def _fields(self) -> Dict[str, float]:
        return {"abandonType": 2, "abandonParam1": float(self.mean), "abandonParam2": float(self.variance)}


Patience = (Exponential, Erlang, Lognormal)
