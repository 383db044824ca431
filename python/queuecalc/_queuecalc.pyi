"""Type stubs of the compiled part of queuecalc (private; use the package)."""

from typing import Dict, List, Optional, Sequence, Tuple, Union

import numpy as np

Findings = List[Tuple[str, str]]

class Dimension:
    def __init__(self, fields: List[str], points: List[List[float]]) -> None: ...

# model: "exact" or "chain"; method: the chain's, None for its default; terms:
# the chain's inversion terms, None for the fields' inversionTerms.
def evaluate(
    fields: Dict[str, float], thresholds: Sequence[float], model: str, method: Optional[str], terms: Optional[int]
) -> Tuple[List[str], List[float], Findings]: ...
def waiting_time(
    fields: Dict[str, float], moments: Sequence[float], model: str, method: Optional[str], terms: Optional[int]
) -> Tuple[np.ndarray, np.ndarray | None, Findings]: ...
def staff(
    fields: Dict[str, float],
    targets: List[str],
    field: str,
    model: str,
    method: Optional[str],
    terms: Optional[int],
    limit: int,
) -> Tuple[int, List[str], List[float], Findings]: ...
def sweep(
    fields: Dict[str, float],
    dimensions: List[Dimension],
    thresholds: Sequence[float],
    model: str,
    method: Optional[str],
    terms: Optional[int],
    jobs: int,
) -> Tuple[List[str], np.ndarray, List[str], Findings]: ...
def run_folder(directory: str) -> Tuple[bytes, Findings]: ...
MOST_TIME_LIMIT: float

def format_number(value: float) -> str:
    """The results file's form of a number: six significant digits, three-digit exponent (2.5e-005)."""
def plan(
    text: str, name: str, sl: Optional[str], targets: Dict[str, Union[float, str]],
    shrinkage: Union[None, float, str], interval_minutes: Optional[float], patience: Optional[str],
    patience_mean: Optional[float], lines: Optional[int], waiting_places: Optional[int], max_agents: Optional[int],
    model: str, method: Optional[str], fractional: bool, jobs: int, compare: List[str]
) -> Tuple[str, List[str], Findings, int]: ...
def schedule(
    requirements: str, requirements_name: str, templates: str, templates_name: str, interval_minutes: int,
    column: str, max_starts: Optional[int], time_limit: float
) -> Tuple[str, str, float, float, float, bool, str]: ...
