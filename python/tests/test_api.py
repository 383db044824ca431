"""The module's names and objects behave as the README shows them."""

import dataclasses
import threading
import warnings

import numpy as np
import pytest

import queuecalc as qc
from conftest import ROOT, typical_keywords

TYPICAL = typical_keywords()
# The columns of the sweep program in front of the thresholds' columns.
SWEEP_MEASURES = ["RHO", "P(Loss)", "P(NoWait)", "P(S)", "P(A)", "E[W,S]", "E[W^2,S]", "E[W|S]", "E[W^2|S]",
                  "Var(W|S)", "E[W1_A]", "E[W^21_A]", "E[W|A]", "E[W^2|A]", "Var(W|A)", "occupancy", "ASA",
                  "meanQueueLength", "abandonRate"]


def test_a_centre_takes_keywords_is_immutable_and_shows_its_fields():
    centre = qc.CallCentre(**TYPICAL)
    assert centre == qc.CallCentre(10, 9.5, 1, 20, qc.Exponential(0.5))
    assert repr(centre) == ("CallCentre(servers=10, arrival_rate=9.5, service_rate=1.0, waiting_places=20, "
                            "patience=Exponential(rate=0.5))")
    with pytest.raises(dataclasses.FrozenInstanceError):
        centre.servers = 11
    assert dataclasses.replace(centre, servers=11).servers == 11
    for patience in (qc.Erlang(3, 1.5), qc.Lognormal(2.0, 1.0)):
        assert qc.CallCentre(**{**TYPICAL, "patience": patience}).measures()["P(S)"] > 0


@pytest.mark.parametrize("changes", [{"servers": 5.5}, {"waiting_places": "20"}, {"patience": 0.5},
                                     {"arrival_rate": "fast"}])
def test_values_of_the_wrong_kind_raise_an_input_error(changes):
    with pytest.raises(qc.InputError):
        qc.CallCentre(**{**TYPICAL, **changes})


# A bool is no number and a number no switch; each refusal names the argument.
WRONG_KINDS = [
    ("servers", lambda f: qc.CallCentre(**{**TYPICAL, "servers": True})),
    ("arrival_rate", lambda f: qc.CallCentre(**{**TYPICAL, "arrival_rate": False})),
    ("rate", lambda f: qc.Exponential(True)),
    ("tau", lambda f: qc.CallCentre(**TYPICAL).service_level(True)),
    ("times", lambda f: qc.CallCentre(**TYPICAL).waiting_time_cdf([0.1, True])),
    ("targets", lambda f: qc.staff(qc.CallCentre(**TYPICAL), [])),
    ("limit", lambda f: qc.staff(qc.CallCentre(**TYPICAL), ["P(A)<=0.05"], limit=True)),
    ("at", lambda f: qc.sweep(qc.CallCentre(**TYPICAL), at=[True])),
    ("jobs", lambda f: qc.sweep(qc.CallCentre(**TYPICAL), jobs=0)),
    ("max_abandon", lambda f: qc.plan(f, max_abandon=False)),
    ("max_asa", lambda f: qc.plan(f, max_asa=True)),
    ("lines", lambda f: qc.plan(f, lines=True)),
    ("fractional", lambda f: qc.plan(f, fractional="no")),
    ("fractional", lambda f: qc.plan(f, fractional=1)),
    ("patience", lambda f: qc.plan(f, patience=2)),
    ("jobs", lambda f: qc.plan(f, jobs=float("inf"))),
    ("servers", lambda f: qc.CallCentre(**{**TYPICAL, "servers": 2**31})),
]


@pytest.mark.parametrize("name, call", WRONG_KINDS)
def test_an_argument_of_the_wrong_kind_is_refused_by_name(tmp_path, name, call):
    forecast = tmp_path / "forecast.csv"
    forecast.write_text("interval,calls,aht\n08:00,10,180\n")
    with pytest.raises(qc.InputError, match=name):
        call(forecast)


# Values the programs refuse, each refused in Python too: (call on a centre
# and a forecast file, exception, a word of its message). A number beyond a
# float, a number written as text or bytes, a value out of the programs'
# range, an empty or misshapen argument, and a long value echoed cut.
_DAY = (ROOT / "examples" / "shifts" / "day-requirements.csv", ROOT / "examples" / "shifts" / "day-templates.csv")
REFUSED = [
    (lambda c, f: qc.Exponential(10**400), qc.InputError, "rate"),
    (lambda c, f: qc.CallCentre(10, 10**400, 1, 20, qc.Exponential(0.5)), qc.InputError, "arrival_rate"),
    (lambda c, f: c.service_level(10**400), qc.InputError, "tau"),
    (lambda c, f: qc.plan(f, max_asa=10**400), qc.InputError, "max_asa"),
    (lambda c, f: qc.plan(f, max_abandon=10**400), qc.InputError, "max_abandon"),
    (lambda c, f: qc.sweep(c, at=10**400), qc.InputError, "at"),
    (lambda c, f: qc.schedule(*_DAY, interval_minutes=15, time_limit=10**400), qc.InputError, "time_limit"),
    (lambda c, f: qc.CallCentre(10, "9.5", 1, 20, qc.Exponential(0.5)), qc.InputError, "arrival_rate"),
    (lambda c, f: qc.CallCentre(10, b"10", 1, 20, qc.Exponential(0.5)), qc.InputError, "arrival_rate"),
    (lambda c, f: c.service_level("9.5"), qc.InputError, "tau"),
    (lambda c, f: c.waiting_time_cdf("0.2"), qc.InputError, "times"),
    (lambda c, f: qc.Exponential("9.5"), qc.InputError, "rate"),
    (lambda c, f: qc.plan(f, max_asa="30"), qc.InputError, "max_asa"),
    (lambda c, f: qc.plan(f, interval_minutes="30"), qc.InputError, "interval_minutes"),
    (lambda c, f: qc.plan(f, patience_mean="120"), qc.InputError, "patience_mean"),
    (lambda c, f: qc.plan(f, max_abandon=b"5"), qc.InputError, "max_abandon"),
    (lambda c, f: qc.schedule(*_DAY, interval_minutes=15, time_limit="5"), qc.InputError, "time_limit"),
    (lambda c, f: qc.staff(c, ["P(A)<=0.05"], limit=0), qc.InputError, "limit"),
    (lambda c, f: qc.staff(c, ["P(A)<=0.05"], limit=-1), qc.InputError, "limit"),
    (lambda c, f: qc.schedule(*_DAY, interval_minutes=15, time_limit=float("inf")), qc.InputError, "time_limit"),
    (lambda c, f: qc.sweep(c, at=float("nan")), qc.InputError, "at"),
    (lambda c, f: qc.sweep(c, at=[-1.0]), qc.InputError, "at"),
    (lambda c, f: qc.sweep(c, vary={"arrival_rate": [float("nan")]}), qc.InputError, "arrival_rate"),
    (lambda c, f: c.waiting_time_cdf([]), qc.InputError, "times"),
    (lambda c, f: c.waiting_time_cdf(np.array([])), qc.InputError, "times"),
    (lambda c, f: qc.sweep(c, vary=[("servers", [1])]), TypeError, "vary"),
    (lambda c, f: qc.CallCentre(10, "x" * 10000, 1, 20, qc.Exponential(0.5)), qc.InputError, "xxx..."),
    (lambda c, f: qc.staff(c, ["P(A)<=0.05"], limit="\x1b" * 10000), qc.InputError, "limit"),
]


@pytest.mark.parametrize("call, error, word", REFUSED)
def test_a_value_the_programs_refuse_is_refused_by_name_in_one_short_line(tmp_path, call, error, word):
    forecast = tmp_path / "forecast.csv"
    forecast.write_text("interval,calls,aht\n08:00,10,180\n")
    with pytest.raises(error) as refused:
        call(qc.CallCentre(**TYPICAL), forecast)
    message = str(refused.value)
    assert word in message
    assert message.isprintable() and len(message) < 200  # a value is echoed in at most 60 characters


def test_a_limit_beyond_what_the_model_holds_is_named():
    with pytest.raises(qc.InputError, match="67108863"):
        qc.CallCentre(**{**TYPICAL, "servers": 2**31})
    with pytest.raises(qc.InputError, match="13376"):
        qc.CallCentre(**{**TYPICAL, "waiting_places": -2**31 - 1})


def test_a_load_no_staffing_search_takes_is_refused_at_once_with_the_limit(tmp_path):
    forecast = tmp_path / "forecast.csv"
    forecast.write_text("interval,calls,aht\n08:00,1000000000,300\n")
    limit = "is more than the 10000000 Erlangs a staffing search takes"
    with pytest.raises(qc.InputError, match=f"interval 08:00 .line 2.: an offered load of 166666667 Erlangs .* {limit}"):
        qc.plan(forecast)
    with pytest.raises(qc.InputError, match=f"an offered load of 1e\\+09 Erlangs .* {limit}"):
        qc.staff(qc.CallCentre(**{**TYPICAL, "arrival_rate": 1e9}), ["SL(0.2)>=0.8"])


def test_measures_carry_the_sweeps_column_names_and_the_thresholds_columns_agree():
    # The chain: where the exact model integrates, its values move in their
    # last bits with the moments asked for (they are its quadrature's
    # breakpoints), so the staffing search's and the curve's may differ.
    centre = qc.CallCentre(**TYPICAL)
    measures = centre.measures(model="chain")
    assert list(measures) == SWEEP_MEASURES
    count, at_count = qc.staff(centre, ["SL(0.2)>=0.8", "P(A)<=0.05"], model="chain")
    assert count == 12 and at_count["SL(0.2)"] >= 0.8 and at_count["P(A)"] <= 0.05
    assert qc.CallCentre(**{**TYPICAL, "servers": 11}).service_level(0.2, model="chain") < 0.8
    cdf = qc.CallCentre(**{**TYPICAL, "servers": 12}).waiting_time_cdf([0.1, 0.2], model="chain")
    assert cdf.values[1] == at_count["P(W<=0.2|S)"] and list(cdf.times) == [0.1, 0.2]
    assert isinstance(cdf.values, np.ndarray) and np.all(cdf.bound <= 1e-12)
    # Euler at 24 terms is good to about 1e-8 (README); it gives no bound.
    euler = qc.CallCentre(**{**TYPICAL, "servers": 12}).waiting_time_cdf([0.1, 0.2], "euler", model="chain")
    assert euler.bound is None and np.max(np.abs(euler.values - cdf.values)) < 1e-7


def test_a_sweep_without_pandas_is_a_dict_of_numpy_columns(monkeypatch):
    monkeypatch.setitem(__import__("sys").modules, "pandas", None)
    table = qc.sweep(qc.CallCentre(**TYPICAL), vary={"servers": range(10, 12), "arrival_rate": [9.5, 10.45]},
                     at=[0.2])
    assert list(table)[:3] == ["servers", "arrivalRate", "RHO"] and list(table)[-1] == "note"
    assert list(table["servers"]) == [10, 10, 11, 11] and list(table["arrivalRate"]) == [9.5, 10.45] * 2
    assert all(isinstance(column, np.ndarray) for column in table.values())


def test_a_sweep_round_trips_through_pandas_csv_unchanged(tmp_path):
    pandas = pytest.importorskip("pandas")
    table = qc.sweep(qc.CallCentre(**TYPICAL), vary={"servers": range(8, 13), "service_rate": [0.9, 1.1]},
                     at=[0.1, 0.25])
    table.to_csv(tmp_path / "sweep.csv", index=False)
    back = pandas.read_csv(tmp_path / "sweep.csv", keep_default_na=False, float_precision="round_trip")
    back["note"] = back["note"].astype(object)
    pandas.testing.assert_frame_equal(back, table, check_exact=True)


def test_errors_carry_the_programs_message_and_are_value_errors():
    rejected = qc.CallCentre(**{**TYPICAL, "service_rate": -1})
    with pytest.raises(ValueError) as error:
        rejected.measures()
    assert isinstance(error.value, qc.InputError)
    with pytest.warns(qc.InputWarning, match="1 of 2 scenarios"):
        table = qc.sweep(qc.CallCentre(**TYPICAL), vary={"service_rate": [-1, 1]})
    assert str(error.value) == table["note"][0] and "INPUT.DAT" in str(error.value) and table["note"][1] == ""
    with pytest.raises(qc.InputError, match="no column named"):
        qc.staff(qc.CallCentre(**TYPICAL), ["SLA>=0.8"])
    with pytest.raises(qc.InputError, match="meets every target"):
        qc.staff(qc.CallCentre(**TYPICAL), ["P(Loss)<=1e-300"], field="waiting_places", limit=3)


def test_findings_are_warnings_that_filters_can_turn_into_errors():
    with pytest.warns(qc.InputWarning, match="no agent"):
        qc.CallCentre(**{**TYPICAL, "servers": 0}).measures()
    with pytest.warns(qc.InputWarning, match="same time unit|time unit"):
        qc.CallCentre(**{**TYPICAL, "arrival_rate": 950}).measures()
    # Euler with 64 terms loses its digits to rounding: SL(0.2) = 2.47 on the typical centre.
    with pytest.warns(qc.AccuracyWarning, match="Euler"):
        assert not 0 <= qc.CallCentre(**TYPICAL).service_level(0.2, "euler", model="chain", terms=64) <= 1
    with pytest.warns(qc.AccuracyWarning, match="of 2 scenarios"):
        table = qc.sweep(qc.CallCentre(**TYPICAL), vary={"servers": [10, 11]}, at=[0.2], model="chain",
                         method="euler", terms=64)
    assert "inversionTerms" in table["note"][0]
    with warnings.catch_warnings():
        warnings.simplefilter("error", qc.InputWarning)
        with pytest.raises(qc.InputWarning):
            qc.CallCentre(**{**TYPICAL, "servers": 0}).measures()
    assert issubclass(qc.AccuracyWarning, UserWarning) and issubclass(qc.InputWarning, UserWarning)


def test_several_threads_at_once_give_the_bits_of_one():
    centres = [qc.CallCentre(**{**TYPICAL, "servers": s}) for s in range(8, 16)]
    alone = [(c.measures(), c.waiting_time_cdf(np.linspace(0.05, 2, 40)).values.tobytes()) for c in centres]
    grid = dict(vary={"servers": range(5, 40), "arrival_rate": [9.5, 12.0, 20.0]}, at=[0.2])
    sweep_alone = np.asarray(qc.sweep(centres[0], **grid, jobs=1)["SL(0.2)"]).tobytes()
    together, sweeps = [None] * len(centres), [None] * 4

    def one(i):
        together[i] = (centres[i].measures(), centres[i].waiting_time_cdf(np.linspace(0.05, 2, 40)).values.tobytes())

    def sweep(i):
        sweeps[i] = np.asarray(qc.sweep(centres[0], **grid, jobs=2)["SL(0.2)"]).tobytes()

    threads = [threading.Thread(target=one, args=(i,)) for i in range(len(centres))]
    threads += [threading.Thread(target=sweep, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert together == alone and sweeps == [sweep_alone] * 4


def test_a_sweep_over_patience_models_gives_each_centres_own_values():
    # The chain, whose measures do not depend on the moments asked for (the exact model's, where it integrates,
    # move in their last bits: the moments are its quadrature's breakpoints).
    models = [qc.Exponential(0.5), qc.Erlang(3, 1.5), qc.Lognormal(2.0, 1.0)]
    table = qc.sweep(qc.CallCentre(**TYPICAL), vary={"patience": models, "servers": [10, 11]}, at=[0.2], model="chain")
    for row in range(6):
        centre = qc.CallCentre(**{**TYPICAL, "patience": models[row // 2], "servers": 10 + row % 2})
        assert table["patience"][row] == centre.patience
        assert table["SL(0.2)"][row] == centre.service_level(0.2, model="chain")
        assert table["P(A)"][row] == centre.measures(model="chain")["P(A)"]


def test_a_forecast_the_plan_program_refuses_raises_its_message(tmp_path):
    pandas = pytest.importorskip("pandas")
    forecast = pandas.DataFrame({"interval": ["08:00", "08:30"], "calls": [10, -1], "aht": [180, 180]})
    with pytest.raises(qc.InputError, match="line 3"):
        qc.plan(forecast)
    with pytest.raises(qc.InputError, match="sl"):
        qc.plan(forecast.iloc[:1], sl="80 in 20")
    with pytest.raises(qc.InputError, match="is a folder, not a file"):
        qc.plan(tmp_path)
    (tmp_path / "forecast.csv").write_text("interval,calls,aht\n08:00,10,180\n")
    table = qc.plan(tmp_path / "forecast.csv", max_abandon=0.05, patience_mean=60)
    assert list(table["interval"]) == ["08:00"] and table["agents"][0] >= 1
    assert table["agents"].dtype == "int64" and list(table.attrs["totals"]["interval"]) == ["total"]
    assert table["agents"].sum() == table["agents"][0], "the totals are no row of the table"


def test_a_folder_the_calculator_refuses_raises_its_whole_message(tmp_path):
    (tmp_path / "INPUT.DAT").write_text("1 0 0.5 -1 -1 10 20 1.0 x 0.1 32 5 0\n")
    with pytest.raises(qc.InputError, match=r'^Unable to read input file \(INPUT.DAT\): value 9 of 13 .*number\.$'):
        qc.run_folder(tmp_path)


def test_a_value_a_sweeps_worker_thread_refuses_raises_instead_of_ending_python():
    from queuecalc import _queuecalc

    grid = [_queuecalc.Dimension(["servers"], [[10.0]] * 40 + [[2.0**31]])]
    with pytest.raises(qc.InputError, match="servers"):
        _queuecalc.sweep(qc.CallCentre(**TYPICAL)._fields(), grid, [], "exact", None, None, 2)


def test_shares_are_read_as_the_programs_read_them_as_numbers_or_text(tmp_path):
    forecast = tmp_path / "forecast.csv"
    forecast.write_text("interval,calls,aht\n08:00,400,300\n08:30,10,300\n")
    alike = [dict(sl="80/20", max_occupancy=0.85, shrinkage=0.3),
             dict(sl="0.8/20", max_occupancy=85, shrinkage="30%"),
             dict(sl="80%/20", max_occupancy="0.85", shrinkage=np.float64(30))]
    tables = [qc.plan(forecast, **keywords) for keywords in alike]
    for table in tables[1:]:
        assert list(table["agents"]) == list(tables[0]["agents"])
        assert list(table["scheduled"]) == list(tables[0]["scheduled"])
    with pytest.raises(qc.InputError, match=r"1 could be a share \(100 %\) or a percentage \(1 %\)"):
        qc.plan(forecast, max_abandon=1)
    with pytest.raises(qc.InputError, match="max_occupancy"):
        qc.plan(forecast, max_occupancy=True)
    centre = qc.CallCentre(**TYPICAL)
    assert qc.staff(centre, ["SL(0.2)>=80%"]) == qc.staff(centre, ["SL(0.2)>=0.8"]) == qc.staff(centre, ["SL(0.2)>=80"])


def test_a_plan_given_back_as_a_forecast_is_refused_naming_the_column(tmp_path):
    pandas = pytest.importorskip("pandas")
    forecast = pandas.DataFrame({"interval": ["08:00", "08:30"], "calls": [10, 20], "aht": [180, 180]})
    day = qc.plan(forecast)
    with pytest.raises(qc.InputError, match="'load \\(Erlangs\\)', has the name of a column the plan writes"):
        qc.plan(day.iloc[:-1])


def test_a_spreadsheets_export_plans_as_meant_with_what_was_assumed_as_warnings(tmp_path):
    plain, sheet = tmp_path / "plain.csv", tmp_path / "sheet.csv"
    plain.write_text("interval,calls,aht\n08:00,100,280.5\n08:30,0,300\n09:00,120,300\n")
    sheet.write_text(" Interval ;CALLS;Aht\n08:00;100;280,5\n08:30;0;\n09:00;120;300\nTotal;220;\n")
    with pytest.warns(qc.InputWarning, match="is a total of the intervals above it"):
        table = qc.plan(sheet)
    expected = qc.plan(plain)
    assert list(table["agents"]) == list(expected["agents"])
    assert table["Aht"][0] == 280.5 and table["agents"][1] == 0


def test_an_answer_that_meets_its_targets_by_losing_calls_is_warned_of():
    blocked = qc.CallCentre(**{**TYPICAL, "waiting_places": 0})
    with pytest.warns(qc.InputWarning, match="of the calls are lost"):
        qc.staff(blocked, ["SL(0.2)>=0.8"])
    with warnings.catch_warnings():
        warnings.simplefilter("error", qc.InputWarning)
        qc.staff(qc.CallCentre(**TYPICAL), ["SL(0.2)>=0.8", "P(Loss)<=0.01"])


def test_a_centre_without_waiting_places_takes_the_plans_automatic_room():
    automatic = qc.CallCentre(10, 9.5, 1, patience=qc.Exponential(0.5))
    loss = automatic.measures()["P(Loss)"]
    assert loss < 1e-9, "the room keeps the loss below 1e-9"
    room = automatic._fields()["waitingPlaces"]
    assert qc.CallCentre(**{**TYPICAL, "waiting_places": room - 1}).measures()["P(Loss)"] >= 1e-9, "the fewest places"
    assert automatic.measures() == qc.CallCentre(**{**TYPICAL, "waiting_places": room}).measures()
    with pytest.raises(qc.InputError, match="patience"):
        qc.CallCentre(10, 9.5, 1, 20)


def test_a_variant_is_planned_beside_the_forecast_as_the_program_plans_it(tmp_path):
    forecast, more = tmp_path / "day.csv", tmp_path / "more.csv"
    forecast.write_text("interval,calls,aht\n08:00,100,300\n08:30,200,240\n")
    more.write_text("interval,calls,aht\n08:00,110,300\n08:30,220,240\n")
    table = qc.plan(forecast, compare=["calls=+10%", str(more)])
    assert list(table["agents (calls=+10%)"]) == list(qc.plan(more)["agents"])
    assert list(table[f"agents ({more})"]) == list(table["agents (calls=+10%)"])
    with pytest.raises(qc.InputError, match="compare"):
        qc.plan(forecast, compare=[10])
