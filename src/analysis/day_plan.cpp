#include "analysis/day_plan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>

#include "analysis/plan_targets.h"
#include "analysis/staffing.h"
#include "core/echo_text.h"
#include "core/failure.h"
#include "core/number_text.h"
#include "core/thread_pool.h"
#include "input/input_checks.h"
#include "model/chain.h"
#include "model/hazard_rates.h"

namespace queuecalc {

namespace {

constexpr double kSecondsPerMinute = 60;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The busiest interval's close look: agents s - 5 .. s + 5, and the waiting
// time up to 3 tau in 60 steps.
constexpr int kAgentsAround = 5;
constexpr double kCurveReach = 3;
constexpr int kCurveSteps = 60;

// One interval's scenario without the agent count and the room.
struct IntervalModel {
    ModelInput input;
    std::vector<double> cumulativeAbandon;  // of kAutomaticRoomLimit positions, for the room search
    bool abandons = false;
};

IntervalModel intervalModel(const ForecastInterval& interval, const DayPlanSettings& settings) {
    IntervalModel m;
    ModelInput& in = m.input;
    const std::optional<double> mean = interval.patience ? interval.patience : settings.patience.meanSeconds;
    in.abandonParam2 = -1;
    in.abandonParam3 = -1;
    in.setAbandonType(0);
    m.abandons = mean.has_value();
    if (mean) {
        switch (settings.patience.shape) {
            case PatienceShape::Exponential: in.abandonParam1 = 1 / *mean; break;
            case PatienceShape::Erlang:
                in.setAbandonType(1);
                in.abandonParam1 = settings.patience.phases / *mean;
                in.abandonParam2 = settings.patience.phases;
                break;
            case PatienceShape::Lognormal:
                in.setAbandonType(2);
                in.abandonParam1 = *mean;
                in.abandonParam2 = (settings.patience.cv * *mean) * (settings.patience.cv * *mean);
                break;
        }
    }
    in.serviceRate = 1 / interval.aht;
    in.arrivalRate = arrivalRatePerSecond(interval.calls, settings.intervalMinutes);
    in.momentInterval = settings.serviceSeconds;
    in.maxTime = settings.serviceSeconds;
    in.inversionTerms = settings.method == WaitingMethod::Talbot ? kTalbotTerms : kEulerTerms;
    in.setInversionMethod(settings.method == WaitingMethod::Talbot ? 1 : -1);  // echoed only; `method` decides
    if (settings.room.kind == WaitingRoom::Kind::Automatic) {
        in.waitingPlaces = kAutomaticRoomLimit;
        validateModelInput(in);  // the patience's parameters, before the rates are formed
        m.cumulativeAbandon =
            buildHazardRates(in.patience, in.abandonParam1, in.abandonParam2, kAutomaticRoomLimit, in.arrivalRate)
                .cumulativeAbandonRate;
    }
    return m;
}

// The fewest waiting places (up to the limit) with which s agents lose fewer
// than kAutomaticLoss of the calls; -1 when even the limit does not.
//
// The chain's weights w_i (i callers present; w_(i+1) / w_i = lambda over
// the death rate of state i + 1) do not depend on the room, which only cuts
// them off: with r places the loss is w_(s+r) / sum_(i <= s+r) w_i. One pass
// over the states finds the first r where that falls below the bound (the
// weights rescaled to stay finite); the chain itself (model/chain.h, O(s + r))
// then confirms it and the count below, stepping where rounding disagrees.
int automaticRoom(const IntervalModel& m, int servers) {
    const double lambda = m.input.arrivalRate, mu = m.input.serviceRate;
    // Rescaling keeps the weights and their sum within the doubles' range.
    constexpr double kLarge = 1e250, kRescale = 1e-250;
    double weight = 1, sum = 1;
    int guess = -1;
    for (int i = 1; i <= servers + kAutomaticRoomLimit; ++i) {
        const double death = i <= servers ? i * mu : servers * mu + m.cumulativeAbandon[static_cast<std::size_t>(i - servers)];
        weight *= lambda / death;
        sum += weight;
        if (weight > kLarge) weight *= kRescale, sum *= kRescale;
        if (i >= servers && weight / sum < kAutomaticLoss) {
            guess = i - servers;
            break;
        }
    }
    const auto small = [&](int r) {
        const std::vector<double> cumulative(m.cumulativeAbandon.begin(), m.cumulativeAbandon.begin() + r + 1);
        return solveChain(servers, r, mu, lambda, cumulative).lossProb < kAutomaticLoss;
    };
    if (guess < 0) guess = kAutomaticRoomLimit;
    while (guess <= kAutomaticRoomLimit && !small(guess)) ++guess;
    if (guess > kAutomaticRoomLimit) return -1;
    while (guess > 0 && small(guess - 1)) --guess;
    return guess;
}

// The scenario of s agents with the settings' room; `roomShort` when the
// automatic room cannot keep the loss small (the largest room is used).
ModelInput scenarioAt(const IntervalModel& m, const DayPlanSettings& settings, int servers, bool* roomShort) {
    ModelInput in = m.input;
    in.servers = servers;
    bool shortRoom = false;
    switch (settings.room.kind) {
        case WaitingRoom::Kind::Automatic: {
            const int r = automaticRoom(m, servers);
            shortRoom = r < 0;
            in.waitingPlaces = shortRoom ? kAutomaticRoomLimit : r;
            break;
        }
        case WaitingRoom::Kind::Lines:
            in.waitingPlaces = std::max(0, settings.room.count - servers);
            // In the words of the setting, not of the input file's field.
            if (in.waitingPlaces > kMaxWaitingPlaces)
                throw RunFailure(std::to_string(settings.room.count) + " lines leave " + std::to_string(in.waitingPlaces) +
                                 " waiting places beside " + std::to_string(servers) + " agents, more than the " +
                                 std::to_string(kMaxWaitingPlaces) + " the model can hold: give at most " +
                                 std::to_string(servers + kMaxWaitingPlaces) + " lines");
            break;
        case WaitingRoom::Kind::Places: in.waitingPlaces = settings.room.count; break;
    }
    if (roomShort != nullptr) *roomShort = shortRoom;
    return in;
}

IntervalService serviceOf(const Evaluation& e) {
    IntervalService s;
    s.agents = e.input.servers;
    s.waitingPlaces = e.input.waitingPlaces;
    s.serviceLevel = e.thresholds.empty() ? kNaN : e.thresholds[0].serviceLevel;
    s.bound = e.thresholds.empty() ? std::nullopt : e.thresholds[0].bound;
    s.asa = e.analyst.asa;
    s.abandonment = e.abandonment.abandonProb;
    s.occupancy = e.analyst.occupancy;
    s.lossProb = e.measures.lossProb;
    return s;
}

// The net agents of `scheduled` on the roster: floor(scheduled (1 -
// shrinkage)), unrounded with fractional agents.
double netOnHand(double scheduled, const DayPlanSettings& settings) {
    const double net = scheduled * (1 - settings.shrinkage);
    if (settings.fractional) return net;
    // A whole count times 0.7 can land a rounding below a whole number
    // (10 * 0.7 = 6.999999999999999): such a residue is no missing agent.
    return std::floor(net + 1e-9 * std::max(1.0, net));
}

// The fewest agents the search starts from (see the header).
int smallestAgents(const IntervalModel& m, const DayPlanSettings& settings, double load) {
    double smallest = 1;
    if (settings.serviceShare) smallest = std::max(smallest, std::floor(*settings.serviceShare * load));
    if (!m.abandons && settings.room.kind == WaitingRoom::Kind::Automatic)
        smallest = std::max(smallest, std::floor(load) + 1);
    return static_cast<int>(std::min(smallest, static_cast<double>(kMaxSystemSize)));
}

// The control's progress, one call at a time from any worker thread.
class IntervalProgress {
public:
    IntervalProgress(const DayPlanControl& control, std::size_t total) : control_(control), total_(total) {}
    void intervalDone() { report(1); }
    void evaluating() { report(0); }

private:
    void report(std::size_t more) {
        if (!control_.progress) return;
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ += more;
        control_.progress(done_, total_);
    }
    const DayPlanControl& control_;
    const std::size_t total_;
    std::mutex mutex_;
    std::size_t done_ = 0;
};

class IntervalPlanner {
public:
    IntervalPlanner(const DayPlanSettings& settings, BinomialRows& rows, const StopRequest* stop,
                    IntervalProgress& progress)
        : settings_(settings), rows_(rows), stop_(stop), progress_(progress) {
        request_.thresholds = {settings.serviceSeconds};
        request_.model = settings.model;
        if (settings.model == QueueModelChoice::Chain) request_.method = settings.method;
    }

    Evaluation evaluate(const IntervalModel& m, int servers, bool withCurves, bool* roomShort = nullptr,
                        const std::vector<double>& thresholds = {}) const {
        EvaluationRequest r = request_;
        r.withCurves = withCurves;
        r.thresholds.insert(r.thresholds.end(), thresholds.begin(), thresholds.end());
        return evaluate(m, servers, r, roomShort);
    }
    Evaluation evaluate(const IntervalModel& m, int servers, const EvaluationRequest& r, bool* roomShort = nullptr) const {
        throwIfStopped(stop_);
        progress_.evaluating();
        return evaluateScenario(scenarioAt(m, settings_, servers, roomShort), r, rows_);
    }

    IntervalPlan plan(const ForecastInterval& interval, std::size_t index) const {
        IntervalPlan plan;
        plan.index = index;
        plan.load = loadErlangs(interval.calls, interval.aht, settings_.intervalMinutes);
        if (interval.calls == 0) {
            plan.outcome = IntervalOutcome::NoCalls;
            if (interval.staffed) plan.onHand = *interval.staffed;
            if (interval.scheduled) plan.onHand = netOnHand(*interval.scheduled, settings_);
            return plan;
        }
        const IntervalModel m = intervalModel(interval, settings_);
        if (interval.staffed) return measure(m, *interval.staffed, plan);
        if (interval.scheduled) {
            const double net = netOnHand(*interval.scheduled, settings_);
            const double whole = std::floor(net + 1e-9 * std::max(1.0, net));
            if (net <= whole) {
                measure(m, static_cast<int>(whole), plan);
            } else {
                // The service at the fractional level: linear between the whole counts around it.
                IntervalPlan above = plan;
                measure(m, static_cast<int>(whole) + 1, above);
                plan = above;
                if (whole >= 1) {
                    IntervalPlan below = plan;
                    measure(m, static_cast<int>(whole), below);
                    if (below.measured && above.measured)
                        plan.service = serviceBetween(&below.service, above.service, net - whole);
                    plan.measured = below.measured && above.measured;
                } else {
                    plan.service = serviceBetween(nullptr, above.service, net - whole);
                }
                plan.met = plan.measured && meetsTargets(plan.service, settings_);
            }
            plan.agents = net;
            plan.onHand = net;
            plan.scheduled = *interval.scheduled;
            return plan;
        }

        int limit = settings_.agentLimit > 0 ? settings_.agentLimit : defaultStaffingLimit(StaffedField::Servers, m.input);
        if (settings_.room.kind == WaitingRoom::Kind::Lines) limit = std::min(limit, settings_.room.count);
        plan.limit = limit;
        StaffingProblem problem = makeStaffingProblem(StaffedField::Servers, planTargets(settings_), limit, m.input);
        problem.stop = stop_;
        problem.smallest = std::min(smallestAgents(m, settings_, plan.load), std::max(limit, 1));
        // Each count is evaluated once, for the look below and for the search.
        const bool curves = !targetThresholds(problem.targets).empty();
        std::map<int, Evaluation> known;
        EvaluationRequest probe = request_;  // once per interval; each count sets only its curves
        const StaffingEvaluator evaluator = [&](int servers, bool withCurves) {
            probe.withCurves = withCurves;
            if (withCurves != curves) return evaluate(m, servers, probe);
            auto at = known.find(servers);
            if (at == known.end()) at = known.emplace(servers, evaluate(m, servers, probe)).first;
            return at->second;
        };
        // Most answers lie a little above the load. Where the load's count
        // misses with its checks passed, the search starts there, from a
        // miss (the counts below it miss too, as the search's halving
        // assumes), and gallops up by 1, 2, 4, ... instead of from far below.
        const int atLoad = static_cast<int>(std::ceil(plan.load));
        if (atLoad > problem.smallest && atLoad < problem.largest) {
            const Evaluation e = evaluator(atLoad, curves);
            if (!anyFailsChecks(e.findings) && !meetsTargets(serviceOf(e), settings_)) problem.smallest = atLoad;
        }
        const StaffingResult found = findStaffing(problem, m.input, evaluator);
        if (!found.found) {
            plan.outcome = IntervalOutcome::NoStaffing;
            plan.met = false;
            plan.findings = found.findings;
            return plan;
        }
        bool roomShort = false;
        scenarioAt(m, settings_, found.value, &roomShort);
        plan.roomShort = roomShort;
        plan.measured = true;
        plan.service = serviceOf(*found.evaluation);
        plan.findings = found.evaluation->findings;
        plan.agents = found.value;
        if (settings_.fractional) {
            std::optional<IntervalService> below;
            if (found.value > 1) below = serviceOf(evaluate(m, found.value - 1, true));
            plan.agents = fractionalAgents(below ? &*below : nullptr, plan.service, settings_);
            // The service shown is that of the level planned, on the same lines.
            plan.service = serviceBetween(below ? &*below : nullptr, plan.service, plan.agents - (found.value - 1));
        }
        plan.scheduled = scheduledAgents(plan.agents, settings_.shrinkage, settings_.fractional);
        if (settings_.model == QueueModelChoice::Exact && m.abandons && m.input.patience != PatienceType::Exponential)
            plan.chainAgents = chainStaffing(m, problem, found.value);
        return plan;
    }

    // The agents the chain would plan, where they differ from `agents` (the
    // exact model's answer): a step at a time from there, since the two
    // rarely differ by more than one.
    std::optional<int> chainStaffing(const IntervalModel& m, const StaffingProblem& problem, int agents) const {
        EvaluationRequest chain = request_;
        chain.model = QueueModelChoice::Chain;
        chain.method.reset();
        const auto ok = [&](int s) {
            const Evaluation e = evaluate(m, s, chain);
            return !anyFailsChecks(e.findings) && meetsTargets(serviceOf(e), settings_);
        };
        int s = agents;
        if (ok(s)) {
            while (s > problem.smallest && ok(s - 1)) --s;
        } else {
            do {
                if (++s > problem.largest) return std::nullopt;  // the chain meets no count up to the limit
            } while (!ok(s));
        }
        if (s == agents) return std::nullopt;
        return s;
    }

    // The close look at one interval: SL around the planned agents and the
    // waiting-time curve at them.
    BusiestInterval lookClosely(const ForecastInterval& interval, const IntervalPlan& p) const {
        BusiestInterval b;
        b.index = p.index;
        const IntervalModel m = intervalModel(interval, settings_);
        const int s = p.measured ? p.service.agents : std::max(1, static_cast<int>(std::ceil(p.load)));
        for (int a = std::max(1, s - kAgentsAround); a <= s + kAgentsAround; ++a) {
            std::vector<double> curveAt;
            if (a == s)
                for (int k = 1; k <= kCurveSteps; ++k)
                    curveAt.push_back(kCurveReach * settings_.serviceSeconds * k / kCurveSteps);
            const Evaluation e = evaluate(m, a, true, nullptr, curveAt);
            const bool trusted = !anyFailsChecks(e.findings);
            b.agents.push_back(a);
            b.serviceLevel.push_back(trusted ? e.thresholds[0].serviceLevel : kNaN);
            b.abandonment.push_back(trusted ? e.abandonment.abandonProb : kNaN);
            if (a == s) {
                b.curveAgents = s;
                b.waitTimes.push_back(0);
                b.waitCurve.push_back(trusted ? e.measures.noWaitProb / e.measures.servedProb : kNaN);
                for (std::size_t k = 1; k < e.thresholds.size(); ++k) {
                    b.waitTimes.push_back(e.thresholds[k].tau);
                    b.waitCurve.push_back(trusted ? e.thresholds[k].conditional : kNaN);
                }
            }
        }
        return b;
    }

private:
    // The reverse question: the service of the agents on hand.
    IntervalPlan measure(const IntervalModel& m, int staffed, IntervalPlan& plan) const {
        plan.agents = staffed;
        plan.onHand = staffed;
        plan.scheduled = scheduledAgents(staffed, settings_.shrinkage, false);
        if (staffed == 0) {
            plan.outcome = IntervalOutcome::NoAgents;
            plan.met = !settings_.hasTargets();
            return plan;
        }
        plan.outcome = IntervalOutcome::Measured;
        bool roomShort = false;
        const Evaluation e = evaluate(m, staffed, true, &roomShort);
        plan.roomShort = roomShort;
        plan.findings = e.findings;
        plan.service = serviceOf(e);
        plan.measured = !anyFailsChecks(e.findings);
        plan.met = plan.measured && meetsTargets(plan.service, settings_);
        return plan;
    }

    const DayPlanSettings& settings_;
    BinomialRows& rows_;
    const StopRequest* stop_;
    IntervalProgress& progress_;
    EvaluationRequest request_;
};

}  // namespace

std::optional<int> automaticWaitingPlaces(const ModelInput& input) {
    IntervalModel m;
    m.input = input;
    m.input.waitingPlaces = kAutomaticRoomLimit;
    validateModelInput(m.input);  // the patience's parameters, before the rates are formed
    m.cumulativeAbandon = buildHazardRates(m.input.patience, m.input.abandonParam1, m.input.abandonParam2,
                                           kAutomaticRoomLimit, m.input.arrivalRate)
                              .cumulativeAbandonRate;
    const int r = automaticRoom(m, input.servers);
    if (r < 0) return std::nullopt;
    return r;
}

double arrivalRatePerSecond(double calls, double intervalMinutes) {
    return calls / (intervalMinutes * kSecondsPerMinute);
}

double loadErlangs(double calls, double aht, double intervalMinutes) {
    return calls * aht / (intervalMinutes * kSecondsPerMinute);
}

double scheduledAgents(double agents, double shrinkage, bool fractional) {
    const double paid = agents / (1 - shrinkage);
    if (fractional) return paid;
    // A whole count divided by 0.7 lands a rounding above a whole number
    // (7 / 0.7 = 10.000000000000002): such a residue is no extra agent.
    const double whole = std::round(paid);
    return std::fabs(paid - whole) <= 1e-9 * std::max(1.0, whole) ? whole : std::ceil(paid);
}

namespace {

// The targets one could give, in words: "a service level, abandonment, ASA or occupancy".
std::string targetNames() {
    const std::vector<PlanTargetKind>& kinds = planTargetKinds();
    std::string names = "a";
    for (std::size_t k = 0; k < kinds.size(); ++k)
        names += std::string(k == 0 ? " " : k + 1 == kinds.size() ? " or " : ", ") + kinds[k].name;
    return names;
}

// The totals of the intervals `which`: calls, agent-hours, and SL and
// abandonment weighted by the calls of the intervals that have values.
DayPlanTotals totalsOf(const Forecast& forecast, const DayPlanSettings& settings,
                       const std::vector<IntervalPlan>& intervals, const std::vector<std::size_t>& which) {
    const double hours = settings.intervalMinutes / kSecondsPerMinute;
    DayPlanTotals totals;
    double weight = 0, sl = 0, abandon = 0;
    for (std::size_t i : which) {
        const IntervalPlan& p = intervals[i];
        const double calls = forecast.intervals[p.index].calls;
        totals.calls += calls;
        totals.agentHours += p.agents * hours;
        totals.scheduledHours += p.scheduled * hours;
        if (p.onHand) totals.onHandHours += *p.onHand * hours;
        if (p.required) totals.requiredHours += *p.required * hours;
        if (p.onHand && p.required) totals.gapHours += (*p.onHand - *p.required) * hours;
        if (p.measured) {
            weight += calls;
            sl += calls * p.service.serviceLevel;
            abandon += calls * p.service.abandonment;
        }
    }
    totals.serviceLevel = weight > 0 ? sl / weight : kNaN;
    totals.abandonment = weight > 0 ? abandon / weight : kNaN;
    return totals;
}

}  // namespace

DayPlan planDay(const Forecast& forecast, const DayPlanSettings& settings, bool withBusiest,
                const DayPlanControl& control) {
    if (!(settings.intervalMinutes > 0) || !std::isfinite(settings.intervalMinutes))
        throw RunFailure("the interval length must be a number of minutes above 0");
    if (!(settings.shrinkage >= 0 && settings.shrinkage < 1))
        throw RunFailure("shrinkage must be at least 0 % and below 100 %");
    if (!(settings.serviceSeconds > 0) || !std::isfinite(settings.serviceSeconds))
        throw RunFailure("the service level's threshold must be a number of seconds above 0");
    if (!forecast.hasStaffed && !forecast.hasScheduled && !settings.hasTargets())
        throw RunFailure("nothing to plan for: give a target (" + targetNames() + ") or agents on hand in a staffed column");
    // Loads no search takes are refused before any interval is planned.
    for (const ForecastInterval& interval : forecast.intervals) {
        if (interval.calls == 0 || interval.staffed) continue;
        const double load = loadErlangs(interval.calls, interval.aht, settings.intervalMinutes);
        try {
            checkStaffedLoad(load, formatValue(interval.calls) + " calls of " + formatValue(interval.aht) + " s in " +
                                       formatValue(settings.intervalMinutes) + " minutes");
        } catch (const RunFailure& refused) {
            throw RunFailure("interval " + echoText(interval.label) + " (line " + std::to_string(interval.line) +
                             "): " + refused.what());
        }
    }
    BinomialRows rows;
    const std::size_t n = forecast.intervals.size();
    IntervalProgress progress(control, n);
    const IntervalPlanner planner(settings, rows, control.stop, progress);
    // With agents on hand, the agents the targets require beside them.
    const bool onHand = forecast.hasStaffed || forecast.hasScheduled;
    DayPlanSettings forRequired = settings;
    if (!forRequired.serviceShare) forRequired.serviceShare = settings.requiredServiceShare;
    const IntervalPlanner requiredPlanner(forRequired, rows, control.stop, progress);
    DayPlan plan;
    plan.intervals.resize(n);
    forEachClaimed(std::max(1u, settings.jobs), n, 1, [&](std::size_t i, std::size_t) {
        try {
            plan.intervals[i] = planner.plan(forecast.intervals[i], i);
            if (onHand && forRequired.hasTargets()) {
                ForecastInterval asked = forecast.intervals[i];
                asked.staffed.reset();
                asked.scheduled.reset();
                const IntervalPlan required = requiredPlanner.plan(asked, i);
                if (required.outcome != IntervalOutcome::NoStaffing) plan.intervals[i].required = required.agents;
            }
        } catch (const RunFailure& rejected) {
            // A scenario the input checks refuse (a patience beyond what
            // the rates can hold, say): that interval has no plan.
            IntervalPlan& p = plan.intervals[i];
            p.index = i;
            p.load = loadErlangs(forecast.intervals[i].calls, forecast.intervals[i].aht, settings.intervalMinutes);
            p.outcome = IntervalOutcome::NoStaffing;
            p.met = false;
            p.findings = {rejectedScenario(rejected.what())};
        }
        progress.intervalDone();
    }, control.stop);

    std::vector<std::size_t> all(n);
    for (std::size_t i = 0; i < n; ++i) all[i] = i;
    plan.totals = totalsOf(forecast, settings, plan.intervals, all);
    for (const IntervalPlan& p : plan.intervals) {
        plan.allMet = plan.allMet && p.met;
        plan.unmet += p.met ? 0 : 1;
        if (p.measured && p.met && settings.hasTargets() && p.service.lossProb > kLossWarning) {
            ++plan.throughLoss;
            plan.worstLoss = std::max(plan.worstLoss, p.service.lossProb);
        }
    }
    if (forecast.dayColumn >= 0) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& day = forecast.intervals[plan.intervals[i].index].day;
            auto known = std::find_if(plan.days.begin(), plan.days.end(), [&](const DayTotals& d) { return d.day == day; });
            if (known == plan.days.end()) known = plan.days.insert(plan.days.end(), DayTotals{day, {}, {}});
            known->intervals.push_back(i);
        }
        for (DayTotals& d : plan.days) d.totals = totalsOf(forecast, settings, plan.intervals, d.intervals);
    }
    if (withBusiest && plan.totals.calls > 0) {
        std::size_t busiest = 0;
        for (std::size_t i = 1; i < n; ++i)
            if (plan.intervals[i].load > plan.intervals[busiest].load) busiest = i;
        plan.busiest = planner.lookClosely(forecast.intervals[busiest], plan.intervals[busiest]);
    }
    return plan;
}

}  // namespace queuecalc
