"""The module's numbers are the programs' numbers.

Where a program's file holds full precision (the sweep's CSV: the shortest
text that reads back as the same double) the values are compared bit for
bit; where it holds six significant digits (the calculator's OUTPUT.CSV)
the module's values are written in the file's form and compared as text.
"""

import io
import shutil
import subprocess

import numpy as np
import pytest

import queuecalc as qc
from conftest import EXAMPLES, ROOT, centre_of, input_values, program, typical_keywords

pandas = pytest.importorskip("pandas")

WORKED = sorted(p.name for p in EXAMPLES.iterdir() if p.is_dir())


def read_csv(text: str):
    """A sweep's CSV: numbers to the bit, empty numbers NaN, the note as text."""
    return pandas.read_csv(io.StringIO(text), keep_default_na=False, na_values={"note": []},
                           float_precision="round_trip").replace({"": np.nan}).fillna({"note": ""})


def run_sweep(*args: str):
    done = subprocess.run([str(program("queuecalc-sweep")), *args], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return read_csv(done.stdout)


def same_bits(left, right) -> bool:
    return np.asarray(left, dtype=float).tobytes() == np.asarray(right, dtype=float).tobytes()


@pytest.mark.parametrize("name", WORKED)
def test_the_folder_run_writes_each_worked_examples_results_file_byte_for_byte(name, tmp_path):
    shutil.copytree(EXAMPLES / name, tmp_path, dirs_exist_ok=True)
    before = (tmp_path / "OUTPUT.CSV").read_bytes() if (tmp_path / "OUTPUT.CSV").exists() else None
    if (EXAMPLES / name / "expected.csv").exists():
        result = qc.run_folder(tmp_path)
        expected = (EXAMPLES / name / "expected.csv").read_bytes()
        assert (tmp_path / "OUTPUT.CSV").read_bytes() == expected
        assert result.text == expected.decode("latin-1") and len(result.inputs) == 12
        assert set(result.joint) == set(result.conditional) and len(result.measures) == 15
    else:  # the program's message, between the blank line and the prompt
        message = (EXAMPLES / name / "expected.stdout").read_text(encoding="latin-1").split("\n")[1]
        with pytest.raises(qc.InputError) as error:
            qc.run_folder(tmp_path)
        assert str(error.value) == message
        assert ((tmp_path / "OUTPUT.CSV").read_bytes() if before is not None else None) == before


@pytest.mark.parametrize("name", [n for n in WORKED if (EXAMPLES / n / "expected.csv").exists()])
def test_measures_and_curves_equal_the_results_file_at_its_six_digits(name):
    values = input_values(EXAMPLES / name)
    centre, terms = centre_of(values), int(values[10])
    lines = (EXAMPLES / name / "expected.csv").read_bytes().decode("latin-1").replace("\u00b2", "^2").split("\r\n")
    measures = centre.measures(model="chain")
    for label in list(measures)[:15]:
        assert [qc.format_number(measures[label])] == [l.split(";")[1] for l in lines if l.startswith(label + ";")]
    conditional = lines.index("CONDITIONAL WAITING TIME DISTRIBUTION")
    algorithms = lines[conditional + 1].split(";")[1:]
    rows = [l.split(";") for l in lines[conditional + 3:lines.index("INPUT FILE USED:") - 1]]
    for k, algorithm in enumerate(algorithms):
        if rows:
            times = np.arange(1, len(rows) + 1) * float(values[9])
            cdf = centre.waiting_time_cdf(times, algorithm.lower(), model="chain", terms=terms)
            assert [qc.format_number(v) for v in cdf.values] == [r[1 + k] for r in rows], algorithm


@pytest.mark.parametrize("example, model, method", [
    ("examples/typical", None, None), ("examples/typical", "chain", "euler"),
    ("tests/data/examples/lognormal", None, None), ("tests/data/examples/lognormal", "chain", None),
    ("tests/data/examples/erlang3-comments", "chain", "talbot")])
def test_a_sweep_equals_the_sweep_programs_csv_to_the_bit(example, model, method):
    folder = ROOT / example
    values = input_values(folder)
    chosen = (["--model", model] if model else []) + (["--method", method] if method else [])
    keywords = ({"model": model} if model else {}) | ({"method": method, "terms": int(values[10])} if method else {})
    expected = run_sweep("--input", str(folder / "INPUT.DAT"), "--vary", "servers=6:14",
                         "--vary", "arrivalRate=8.5,9.5,10.45", "--at", "0.2", "--at", "0.35", *chosen)
    got = qc.sweep(centre_of(values), vary={"servers": range(6, 15), "arrival_rate": [8.5, 9.5, 10.45]},
                   at=[0.2, 0.35], **keywords)
    pandas.testing.assert_frame_equal(got, expected, check_exact=True)
    assert all(same_bits(got[c], expected[c]) for c in got.columns if c != "note")


def test_staffing_equals_the_sweep_programs_staffing_search():
    typical = ROOT / "examples" / "typical"
    targets = ["SL(0.2)>=0.8", "P(A)<=0.05"]
    expected = run_sweep("--input", str(typical / "INPUT.DAT"), "--staff", "--target", targets[0],
                         "--target", targets[1], "--vary", "arrivalRate=9.5,10.45,30")
    for row in expected.itertuples(index=False):
        centre = qc.CallCentre(**{**typical_keywords(), "arrival_rate": row.arrivalRate})
        count, measures = qc.staff(centre, targets)
        assert count == row.servers
        assert same_bits(list(measures.values()), list(row)[2:-1])


@pytest.mark.parametrize("options, keywords", [
    (["--patience-mean", "120", "--max-abandon", "5%"], dict(patience_mean=120, max_abandon=0.05)),
    (["--sl", "90/15", "--shrinkage", "35%", "--patience", "erlang:3", "--patience-mean", "90", "--fractional"],
     dict(sl="90/15", shrinkage="35%", patience="erlang:3", patience_mean=90, fractional=True)),
    (["--max-asa", "10", "--max-occupancy", "85", "--lines", "40", "--model", "chain", "--method", "talbot"],
     dict(max_asa=10, max_occupancy=0.85, lines=40, model="chain", method="talbot")),
    (["--model", "chain", "--patience", "lognormal:0.5", "--patience-mean", "60", "--max-abandon", "4%"],
     dict(model="chain", patience="lognormal:0.5", patience_mean=60, max_abandon=0.04)),
    (["--sl", "none", "--max-occupancy", "0.85", "--waiting-places", "5", "--max-agents", "60", "--interval-minutes",
      "30", "--compare", "calls=+10%", "--compare", "aht=-15"],
     dict(sl=None, max_occupancy="85%", waiting_places=5, max_agents=60, interval_minutes=30,
          compare=["calls=+10%", "aht=-15"])),
])
def test_a_day_plan_equals_the_plan_programs_csv(options, keywords):
    forecast = ROOT / "examples" / "day" / "forecast.csv"
    done = subprocess.run([str(program("queuecalc-plan")), str(forecast), *options], capture_output=True, text=True)
    got = qc.plan(forecast, **keywords)
    text = [c for c in got.columns if got[c].dtype == object]
    expected = pandas.read_csv(io.StringIO(done.stdout), dtype={c: str for c in text}, keep_default_na=False,
                               na_values={c: [""] for c in got.columns if c not in text},
                               float_precision="round_trip")
    # The intervals are the table, with whole agent counts unless fractional; the totals row is in attrs.
    intervals = expected.iloc[:-1].astype({c: got[c].dtype for c in got.columns})
    pandas.testing.assert_frame_equal(got, intervals, check_exact=True)
    pandas.testing.assert_frame_equal(got.attrs["totals"], expected.iloc[-1:].reset_index(drop=True), check_exact=True)
    from_frame = qc.plan(pandas.read_csv(forecast, dtype=str), **keywords)
    pandas.testing.assert_frame_equal(from_frame, got, check_exact=True)
