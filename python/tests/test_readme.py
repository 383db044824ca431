"""The README's Python example runs as shown."""

import re
import runpy

import pytest

from conftest import ROOT


def test_the_readme_example_prints_the_table_and_saves_the_chart(tmp_path, monkeypatch, capsys):
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    code = re.search(r"^## From Python$.*?^```python\n(.*?)^```", readme, re.S | re.M).group(1)
    assert len(code.strip().splitlines()) <= 16
    (tmp_path / "example.py").write_text(code, encoding="utf-8")
    monkeypatch.chdir(tmp_path)
    monkeypatch.setenv("MPLBACKEND", "Agg")
    runpy.run_path(str(tmp_path / "example.py"), run_name="__main__")
    assert "agents" in capsys.readouterr().out
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        pytest.skip("no matplotlib: the example saves no chart")
    assert (tmp_path / "service-level.png").stat().st_size > 1000
