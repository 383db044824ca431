"""Type stubs of the public names of queuecalc, for editors and type checkers."""

import os
from typing import Any, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from ._errors import AccuracyWarning as AccuracyWarning
from ._errors import InputError as InputError
from ._errors import InputWarning as InputWarning
from ._patience import Erlang as Erlang
from ._patience import Exponential as Exponential
from ._patience import Lognormal as Lognormal

PatienceModel = Union[Exponential, Erlang, Lognormal]
DEFAULT_METHOD: str
DEFAULT_MODEL: str

class WaitingTimeCdf:
    times: np.ndarray
    values: np.ndarray
    bound: Optional[np.ndarray]
    def __init__(self, times: np.ndarray, values: np.ndarray, bound: Optional[np.ndarray]) -> None: ...

class CallCentre:
    servers: int
    arrival_rate: float
    service_rate: float
    waiting_places: int
    patience: PatienceModel
    def __init__(
        self, servers: int, arrival_rate: float, service_rate: float, waiting_places: int, patience: PatienceModel
    ) -> None: ...
    def measures(self, *, model: str = ...) -> Dict[str, float]: ...
    def service_level(
        self, tau: float, method: Optional[str] = ..., *, model: str = ..., terms: Optional[int] = ...
    ) -> float: ...
    def waiting_time_cdf(
        self,
        times: Union[float, Sequence[float], np.ndarray],
        method: Optional[str] = ...,
        *,
        model: str = ...,
        terms: Optional[int] = ...,
    ) -> WaitingTimeCdf: ...

class FolderResult:
    measures: Dict[str, float]
    times: np.ndarray
    joint: Dict[str, np.ndarray]
    conditional: Dict[str, np.ndarray]
    inputs: List[str]
    text: str

def staff(
    centre: CallCentre,
    targets: Sequence[str],
    field: str = ...,
    *,
    model: str = ...,
    method: Optional[str] = ...,
    terms: Optional[int] = ...,
    limit: Optional[int] = ...,
) -> Tuple[int, Dict[str, float]]: ...
def sweep(
    centre: CallCentre,
    vary: Optional[Mapping[str, Iterable[Any]]] = ...,
    at: Union[float, Sequence[float]] = ...,
    *,
    model: str = ...,
    method: Optional[str] = ...,
    terms: Optional[int] = ...,
    jobs: Optional[int] = ...,
) -> Any: ...
def run_folder(path: Union[str, "os.PathLike[str]"]) -> FolderResult: ...
def format_number(value: float) -> str: ...
def plan(
    forecast: Any,
    sl: Optional[str] = ...,
    *,
    max_abandon: Union[None, float, str] = ...,
    max_asa: Optional[float] = ...,
    max_occupancy: Union[None, float, str] = ...,
    shrinkage: Union[None, float, str] = ...,
    interval_minutes: Optional[float] = ...,
    patience: Optional[str] = ...,
    patience_mean: Optional[float] = ...,
    lines: Optional[int] = ...,
    waiting_places: Optional[int] = ...,
    max_agents: Optional[int] = ...,
    model: str = ...,
    method: Optional[str] = ...,
    fractional: bool = ...,
    jobs: Optional[int] = ...,
) -> Any: ...

class Schedule:
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
    interval_minutes: int = ...,
    column: Optional[str] = ...,
    max_starts: Optional[int] = ...,
    time_limit: float = ...,
) -> Schedule: ...
