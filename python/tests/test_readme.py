"""The README's Python example runs as shown."""

import importlib.util
import re
import runpy
import shutil

import pytest

from conftest import ROOT


def test_the_readme_example_prints_the_day_plan_and_saves_the_chart(tmp_path, monkeypatch, capsys):
    pytest.importorskip("pandas")
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    code = re.search(r"^## From Python$.*?^```python\n(.*?)^```", readme, re.S | re.M).group(1)
    assert len(code.strip().splitlines()) <= 15
    (tmp_path / "examples" / "day").mkdir(parents=True)
    shutil.copy(ROOT / "examples" / "day" / "forecast.csv", tmp_path / "examples" / "day")
    monkeypatch.chdir(tmp_path)  # the example runs from the project root
    (tmp_path / "example.py").write_text(code, encoding="utf-8")
    runpy.run_path(str(tmp_path / "example.py"), run_name="__main__")
    printed = capsys.readouterr().out
    assert "08:00" in printed and "agent-hours" in printed
    if importlib.util.find_spec("matplotlib") is None:
        pytest.skip("no matplotlib: the example saves no chart")
    assert (tmp_path / "day-plan.png").stat().st_size > 1000

