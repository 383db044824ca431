"""Where the tests find the project's files and its programs."""

import os
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "tests" / "data" / "examples"
BUILD = Path(os.environ.get("QUEUECALC_BUILD_DIR", ROOT / "build"))


def program(name: str) -> Path:
    """A program of the C++ build, or a skip when the build does not have it."""
    path = BUILD / name
    if not path.is_file():
        if os.environ.get("QUEUECALC_BUILD_DIR"):
            pytest.fail(f"{path} is not built")
        pytest.skip(f"{path} is not built (set QUEUECALC_BUILD_DIR)")
    return path


def input_values(folder: Path):
    """The thirteen values of a folder's INPUT.DAT."""
    return (folder / "INPUT.DAT").read_text(encoding="latin-1").split()[:13]


def typical_keywords():
    """The typical example's centre as CallCentre keywords."""
    import queuecalc as qc

    return dict(servers=10, arrival_rate=9.5, service_rate=1, waiting_places=20, patience=qc.Exponential(0.5))


def centre_of(values):
    """The CallCentre of an INPUT.DAT's values."""
    import queuecalc as qc

    kind, p1, p2 = int(values[1]), float(values[2]), float(values[3])
    patience = [lambda: qc.Exponential(p1), lambda: qc.Erlang(int(p2), p1), lambda: qc.Lognormal(p1, p2)][kind]()
    return qc.CallCentre(servers=int(values[5]), waiting_places=int(values[6]), service_rate=float(values[7]),
                         arrival_rate=float(values[8]), patience=patience)
