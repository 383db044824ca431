"""The calculator's own run on a folder's INPUT.DAT and BINOMDIST.DAT."""

import os
from dataclasses import dataclass
from typing import Dict, List

import numpy as np

from . import _queuecalc
from ._centre import _warn


@dataclass(frozen=True)
class FolderResult:
    """What a run wrote to OUTPUT.CSV, parsed: the values as the file holds
    them (six significant digits).

    ``measures``: the fifteen measures keyed by the sweep's column names
    ("E[W^2|S]" for the file's "E[W²|S]"); ``times``: the moments;
    ``joint`` and ``conditional``: P(0 < W <= t, S) and P(W <= t | S) per
    algorithm that ran ("Euler", "Talbot"); ``inputs``: the echoed input
    values as written; ``text``: the whole file, decoded as Latin-1."""

    measures: Dict[str, float]
    times: np.ndarray
    joint: Dict[str, np.ndarray]
    conditional: Dict[str, np.ndarray]
    inputs: List[str]
    text: str


def _number(text: str) -> float:
    return float(text)  # "nan", "inf" and "2.5e-005" read as Python reads them


def _curves(lines: List[str], start: int):
    """The table after the title at `start`: (algorithms, times, columns, next line)."""
    algorithms = lines[start + 1].split(";")[1:]
    rows = []
    i = start + 3
    while i < len(lines) and lines[i]:
        rows.append(lines[i].split(";"))
        i += 1
    times = np.array([_number(r[0]) for r in rows], dtype=float)
    columns = {a: np.array([_number(r[1 + k]) for r in rows], dtype=float) for k, a in enumerate(algorithms)}
    return times, columns, i


def parse_results(text: str) -> FolderResult:
    """An OUTPUT.CSV's text (decoded as Latin-1) as a FolderResult."""
    lines = text.split("\r\n")
    measures = {}
    i = 2
    while lines[i]:
        label, value = lines[i].split(";")
        measures[label.replace("\u00b2", "^2")] = _number(value)
        i += 1
    times, joint, i = _curves(lines, i + 1)
    _, conditional, i = _curves(lines, i + 1)
    inputs = lines[i + 3 : i + 15]
    return FolderResult(measures, times, joint, conditional, inputs, text)


def run_folder(path: "os.PathLike[str] | str") -> FolderResult:
    """Runs the calculator on the folder's INPUT.DAT and BINOMDIST.DAT, as
    the program does, without printing: writes the folder's OUTPUT.CSV
    byte for byte as the program would, and returns it parsed.

    A run the program would end with a message raises InputError with that
    message (OUTPUT.CSV is then left as it was); the program's warnings
    come as InputWarning (about the input) and AccuracyWarning (about the
    curves)."""
    data, findings = _queuecalc.run_folder(os.fspath(path))
    _warn(findings, 2)
    return parse_results(data.decode("latin-1"))
