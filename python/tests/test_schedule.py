"""qc.schedule: the shift program's roster, coverage, cost, bound and gap."""

import re
import subprocess

import pytest

import queuecalc as qc
from conftest import ROOT, program

SHIFTS = ROOT / "examples" / "shifts"
DAY = (SHIFTS / "day-requirements.csv", SHIFTS / "day-templates.csv")


def test_the_day_gives_the_programs_roster_and_coverage_from_files_or_data_frames():
    pandas = pytest.importorskip("pandas")
    run = subprocess.run([str(program("queuecalc-shifts")), *map(str, DAY), "--interval-minutes", "15",
                          "--coverage", "/dev/stdout"], capture_output=True, text=True, check=True)
    from_files = qc.schedule(*DAY, interval_minutes=15)
    from_frames = qc.schedule(*(pandas.read_csv(p, dtype=str, keep_default_na=False) for p in DAY), interval_minutes=15)
    for result in (from_files, from_frames):
        assert (result.cost, result.bound, result.gap, result.optimal, result.note) == (244, 244, 0, True, "")
        assert result.roster.to_csv(index=False, lineterminator="\n") in run.stdout
        assert int(result.roster["agents"].sum()) == 36
        assert (result.coverage["working"] >= result.coverage["required"]).all()
        assert (result.coverage["under"] == 0).all()


@pytest.mark.parametrize("requirements, message", [
    ("interval,required\n06:00,2\n07:00,3\n", "no template can work in 2 interval(s) that require agents: 06:00, 07:00"),
    ("interval,required\n7am,2\n", "line 2, column 1: interval"),
])
def test_requirements_the_program_refuses_raise_its_message(tmp_path, requirements, message):
    path = tmp_path / "requirements.csv"
    path.write_text(requirements)
    with pytest.raises(qc.InputError, match=re.escape(message)):
        qc.schedule(path, DAY[1])
