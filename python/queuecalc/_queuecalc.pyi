"""Type stubs of the compiled part of queuecalc (private; use the package)."""

from typing import Dict, List, Sequence, Tuple

import numpy as np

Findings = List[Tuple[str, str]]

class Dimension:
    def __init__(self, fields: List[str], points: List[List[float]]) -> None: ...

def evaluate(fields: Dict[str, float], moments: Sequence[float], method: str) -> Tuple[List[str], List[float], Findings]: ...
def waiting_time(
    fields: Dict[str, float], moments: Sequence[float], method: str
) -> Tuple[np.ndarray, np.ndarray | None, Findings]: ...
def staff(
    fields: Dict[str, float], targets: List[str], field: str, method: str, limit: int
) -> Tuple[int, List[str], List[float], Findings]: ...
def sweep(
    fields: Dict[str, float], dimensions: List[Dimension], moments: Sequence[float], method: str, jobs: int
) -> Tuple[List[str], np.ndarray, List[str], Findings]: ...
def run_folder(directory: str) -> Tuple[bytes, Findings]: ...
def format_number(value: float) -> str:
    """The results file's form of a number: six significant digits, three-digit exponent (2.5e-005)."""
def plan(text: str, name: str, args: List[str], jobs: int) -> Tuple[str, List[str], Findings]: ...
