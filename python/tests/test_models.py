"""Every entry point solves the exact model of the queue unless asked for the chain, as the programs do."""

import numpy as np
import pytest

import queuecalc as qc
from conftest import ROOT, typical_keywords

# A half-hour on 28 agents: 262 calls, 3-minute talk times, 200 waiting
# places, lognormal patience of mean 1 minute and CV 0.5 (in seconds).
LOGNORMAL = qc.CallCentre(servers=28, arrival_rate=262 / 1800, service_rate=1 / 180, waiting_places=200,
                          patience=qc.Lognormal(60, 900))
# Its SL(20 s): the exact model's from the 50-digit reference of the same centre in minutes
# (tests/data/exact_queue/references.txt, lognormal-cv05-28, SL(1/3)), good to the model's bound and
# the rounding of the change of time unit; the chain's as it computes it, to four digits.
EXACT_SL20, EXACT_SL20_TOLERANCE = 0.7898049184979519, 1e-12
CHAIN_SL20, FOUR_DIGITS = 0.8175, 5e-5
# Where patience is exponential the chain is the queue itself: the two differ by rounding only.
SAME_QUEUE = 1e-12
METHOD_WITH_EXACT = (r"^method chooses how the chain's waiting times are computed; the exact model has no method "
                     r"\(its values come with their bound\): give model=\"chain\" with method$")
FORECAST = ROOT / "examples" / "day" / "forecast.csv"


def numbers(*values) -> np.ndarray:
    """The numbers of a result, tables' numeric columns included, as one array of floats."""
    flat = []
    for v in values:
        if hasattr(v, "select_dtypes"):
            v = v.select_dtypes("number").to_numpy()
        flat.append(np.ravel(np.asarray(v, dtype=float)))
    return np.concatenate(flat)


def staffed(centre, **keywords) -> np.ndarray:
    count, measures = qc.staff(centre, ["SL(20)>=0.8"], **keywords)
    return numbers(count, list(measures.values()))


# Each entry point that computes, on a centre with keywords, and whether it takes terms.
ENTRY_POINTS = {
    "measures": (lambda c, **k: numbers(list(c.measures(**k).values())), False),
    "service_level": (lambda c, **k: numbers(c.service_level(20, **k)), True),
    "waiting_time_cdf": (lambda c, **k: numbers(c.waiting_time_cdf([10, 20], **k).values), True),
    "staff": (staffed, True),
    "sweep": (lambda c, **k: numbers(qc.sweep(c, vary={"servers": [27, 28]}, at=[20], jobs=1, **k)), True),
    "plan": (lambda c, **k: numbers(qc.plan(FORECAST, patience="lognormal:0.5", patience_mean=60, jobs=1, **k)),
             False),
}


@pytest.mark.parametrize("entry", ENTRY_POINTS)
def test_each_entry_point_solves_the_exact_model_by_default_and_the_chain_when_asked(entry):
    compute, _ = ENTRY_POINTS[entry]
    default, exact, chain = compute(LOGNORMAL), compute(LOGNORMAL, model="exact"), compute(LOGNORMAL, model="chain")
    assert default.tobytes() == exact.tobytes() and default.tobytes() != chain.tobytes()


@pytest.mark.parametrize("entry", ENTRY_POINTS)
def test_an_unknown_model_and_the_chains_keywords_with_the_exact_model_raise_input_errors(entry):
    compute, takes_terms = ENTRY_POINTS[entry]
    with pytest.raises(qc.InputError, match=r'^Unknown model "queue": choose model="exact" .* or model="chain"'):
        compute(LOGNORMAL, model="queue")
    if entry == "measures":
        return
    for exact in ({}, {"model": "exact"}):
        with pytest.raises(qc.InputError, match=METHOD_WITH_EXACT):
            compute(LOGNORMAL, method="euler", **exact)
        if takes_terms:
            with pytest.raises(qc.InputError, match=r'^terms .* give model="chain" with method and terms$'):
                compute(LOGNORMAL, terms=24, **exact)
    assert compute(LOGNORMAL, model="chain", method="euler").size > 0


@pytest.mark.parametrize("centre", [
    typical_keywords(),
    dict(servers=28, arrival_rate=262 / 1800, service_rate=1 / 180, waiting_places=200,
         patience=qc.Exponential(1 / 60)),
    dict(servers=5, arrival_rate=9.5, service_rate=1, waiting_places=30, patience=qc.Exponential(2)),  # overloaded
])
def test_with_exponential_patience_the_exact_model_and_the_chain_agree(centre):
    centre = qc.CallCentre(**centre)
    exact, chain = centre.measures(), centre.measures(model="chain")
    assert list(exact) == list(chain)
    np.testing.assert_allclose(list(exact.values()), list(chain.values()), rtol=SAME_QUEUE, atol=0)
    np.testing.assert_allclose(centre.service_level(0.5), centre.service_level(0.5, model="chain"), rtol=SAME_QUEUE,
                               atol=0)


def test_with_lognormal_patience_the_models_differ_and_the_exact_models_bounds_come_through():
    assert LOGNORMAL.service_level(20) == pytest.approx(EXACT_SL20, abs=EXACT_SL20_TOLERANCE)
    assert LOGNORMAL.service_level(20, model="chain") == pytest.approx(CHAIN_SL20, abs=FOUR_DIGITS)
    cdf = LOGNORMAL.waiting_time_cdf([10, 20])
    assert cdf.bound is not None and np.all((cdf.bound > 0) & (cdf.bound <= 1e-12))
    assert LOGNORMAL.waiting_time_cdf([10, 20], "euler", model="chain").bound is None
    table = qc.sweep(LOGNORMAL, vary={"servers": [27, 28]}, at=[20])
    assert np.all((table["bound(20)"] > 0) & (table["bound(20)"] <= 1e-12))
