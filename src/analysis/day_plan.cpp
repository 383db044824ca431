#include "analysis/day_plan.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

#include "core/failure.h"
#include "engine/queue_model.h"
#include "input/binomial_row.h"
#include "input/input_checks.h"
#include "model/chain.h"
#include "model/hazard_rates.h"

namespace queuecalc {

namespace {

constexpr double kSecondsPerMinute = 60;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Agents tried beyond twice the load: past it the chance that every agent is
// busy is astronomically small, so no target can still change.
constexpr int kAgentsBeyondLoad = 1000;
// The busiest interval's close look: agents s - 5 .. s + 5, and the waiting
// time up to 3 tau in 60 steps.
constexpr int kAgentsAround = 5;
constexpr double kCurveReach = 3;
constexpr int kCurveSteps = 60;
// Euler terms (the accuracy of the Euler algorithm is best at 20 to 24 terms).
constexpr int kEulerTerms = 24;
constexpr int kTalbotTerms = 48;

// One interval's scenario without the agent count and the room.
struct IntervalModel {
    ModelInput input;
    std::vector<double> cumulativeAbandon;  // of kAutomaticRoomLimit positions, for the room search
};

IntervalModel intervalModel(const ForecastInterval& interval, const DayPlanSettings& settings) {
    IntervalModel m;
    ModelInput& in = m.input;
    const std::optional<double> mean = interval.patience ? interval.patience : settings.patience.meanSeconds;
    in.abandonParam3 = -1;
    if (!mean) {
        in.setAbandonType(0);
        in.abandonParam1 = 0;  // nobody abandons
        in.abandonParam2 = -1;
    } else {
        switch (settings.patience.shape) {
            case PatienceShape::Exponential:
                in.setAbandonType(0);
                in.abandonParam1 = 1 / *mean;
                in.abandonParam2 = -1;
                break;
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
    in.inversionTerms = settings.method == PlanMethod::Talbot ? kTalbotTerms : kEulerTerms;
    in.setInversionMethod(settings.method == PlanMethod::Talbot ? 1 : -1);
    if (settings.room.kind == WaitingRoom::Kind::Automatic) {
        const HazardRates h = buildHazardRates(in.patience, in.abandonParam1, in.abandonParam2, kAutomaticRoomLimit,
                                               in.arrivalRate);
        m.cumulativeAbandon = h.cumulativeAbandonRate;
    }
    return m;
}

// The fewest waiting places (up to the limit) for which s agents lose fewer
// than kAutomaticLoss of the calls; -1 when even the limit does not.
int automaticRoom(const IntervalModel& m, int servers) {
    const auto loss = [&](int r) {
        const std::vector<double> cumulative(m.cumulativeAbandon.begin(), m.cumulativeAbandon.begin() + r + 1);
        return solveChain(servers, r, m.input.serviceRate, m.input.arrivalRate, cumulative).lossProb;
    };
    if (!(loss(kAutomaticRoomLimit) < kAutomaticLoss)) return -1;
    int lo = -1, hi = 8;  // lo misses, hi meets
    while (hi < kAutomaticRoomLimit && !(loss(hi) < kAutomaticLoss)) lo = hi, hi = std::min(2 * hi, kAutomaticRoomLimit);
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        (loss(mid) < kAutomaticLoss ? hi : lo) = mid;
    }
    return hi;
}

const std::vector<double>& eulerRow() {
    static const std::vector<double> row = exactBinomialRow(kEulerTerms);
    return row;
}

// The service of s agents, or nothing when the room cannot be had.
std::optional<IntervalService> serviceAt(const IntervalModel& m, const DayPlanSettings& settings, int servers,
                                         const std::vector<double>& extraMoments = {},
                                         std::vector<double>* curve = nullptr) {
    ModelInput in = m.input;
    in.servers = servers;
    switch (settings.room.kind) {
        case WaitingRoom::Kind::Automatic: in.waitingPlaces = automaticRoom(m, servers); break;
        case WaitingRoom::Kind::Lines: in.waitingPlaces = settings.room.count - servers; break;
        case WaitingRoom::Kind::Places: in.waitingPlaces = settings.room.count; break;
    }
    if (in.waitingPlaces < 0) return std::nullopt;
    validateModelInput(in);
    const QueueModel model = buildQueueModel(in);
    std::vector<double> moments{settings.serviceSeconds};
    moments.insert(moments.end(), extraMoments.begin(), extraMoments.end());
    const InversionAlgorithm algorithm =
        settings.method == PlanMethod::Talbot ? InversionAlgorithm::Talbot : InversionAlgorithm::Euler;
    const WaitingTimeCurves w = evaluateWaitingTime(model, algorithm, in.inversionTerms, moments, eulerRow(),
                                                    TransformEngine::FastOneThread);
    const PerformanceMeasures& pm = model.measures;
    IntervalService s;
    s.agents = servers;
    s.waitingPlaces = in.waitingPlaces;
    s.lossProb = pm.lossProb;
    s.serviceLevel = (1 - pm.lossProb) * (pm.noWaitProb + w.joint[0]);
    s.asa = pm.meanWaitServed;
    s.abandonment = pm.abandonProb;
    s.occupancy = in.arrivalRate * (1 - pm.lossProb) * pm.servedProb / (servers * in.serviceRate);
    if (curve != nullptr) {
        curve->assign(1, pm.noWaitProb / pm.servedProb);
        curve->insert(curve->end(), w.conditional.begin() + 1, w.conditional.end());
    }
    return s;
}

bool meets(const IntervalService& s, const DayPlanSettings& t) {
    return (!t.serviceShare || s.serviceLevel >= *t.serviceShare) && (!t.maxAbandon || s.abandonment <= *t.maxAbandon) &&
           (!t.maxAsa || s.asa <= *t.maxAsa) && (!t.maxOccupancy || s.occupancy <= *t.maxOccupancy);
}

// The smallest x in [s - 1, s] at which the measures, linear between s - 1
// (`below`, or 0 agents: SL 0 and abandonment 1) and s (`at`), meet every
// target.
double fractionalAgents(const IntervalService* below, const IntervalService& at, const DayPlanSettings& t) {
    const double base = at.agents - 1;
    double x = base;
    const auto reach = [&](double from, double to, double bound) {
        // Where the line from `from` (at s - 1) to `to` (at s) crosses the bound.
        if (to == from) return 1.0;
        return std::clamp((bound - from) / (to - from), 0.0, 1.0);
    };
    if (t.serviceShare && (below == nullptr || below->serviceLevel < *t.serviceShare))
        x = std::max(x, base + reach(below ? below->serviceLevel : 0, at.serviceLevel, *t.serviceShare));
    if (t.maxAbandon && (below == nullptr || below->abandonment > *t.maxAbandon))
        x = std::max(x, base + reach(below ? below->abandonment : 1, at.abandonment, *t.maxAbandon));
    if (t.maxAsa && (below == nullptr || below->asa > *t.maxAsa))
        x = std::max(x, below ? base + reach(below->asa, at.asa, *t.maxAsa) : base + 1);
    if (t.maxOccupancy && (below == nullptr || below->occupancy > *t.maxOccupancy))
        x = std::max(x, below ? base + reach(below->occupancy, at.occupancy, *t.maxOccupancy) : base + 1);
    return x;
}

std::string percent(double share) {
    const double p = share * 100;
    std::string text = std::to_string(p);
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

std::string targetsText(const DayPlanSettings& t) {
    std::string text;
    const auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (t.serviceShare) add("SL " + percent(*t.serviceShare) + "/" + formatValue(t.serviceSeconds));
    if (t.maxAbandon) add("abandonment <= " + percent(*t.maxAbandon) + "%");
    if (t.maxAsa) add("ASA <= " + formatValue(*t.maxAsa) + " s");
    if (t.maxOccupancy) add("occupancy <= " + percent(*t.maxOccupancy) + "%");
    return text;
}

int agentLimit(const IntervalModel& m, const DayPlanSettings& settings) {
    int limit = settings.agentLimit;
    if (limit <= 0) {
        const double load = m.input.arrivalRate / m.input.serviceRate;
        limit = static_cast<int>(std::min(2 * std::ceil(load) + kAgentsBeyondLoad, 1e7));
    }
    if (settings.room.kind == WaitingRoom::Kind::Lines) limit = std::min(limit, settings.room.count);
    return limit;
}

IntervalPlan planInterval(const Forecast& forecast, std::size_t index, const DayPlanSettings& settings) {
    const ForecastInterval& interval = forecast.intervals[index];
    IntervalPlan plan;
    plan.index = index;
    plan.load = loadErlangs(interval.calls, interval.aht, settings.intervalMinutes);
    if (interval.calls == 0) {
        plan.note = "no calls";
        return plan;
    }
    const IntervalModel m = intervalModel(interval, settings);
    if (interval.staffed) {
        plan.reverse = true;
        plan.agents = *interval.staffed;
        plan.scheduled = scheduledAgents(plan.agents, settings.shrinkage, false);
        if (*interval.staffed == 0) {
            plan.met = !settings.hasTargets();
            plan.note = "no agents: no call is answered";
            return plan;
        }
        const std::optional<IntervalService> s = serviceAt(m, settings, *interval.staffed);
        if (!s) {
            plan.met = false;
            plan.note = "no waiting room up to " + std::to_string(kAutomaticRoomLimit) +
                        " places keeps P(Loss) below 1e-9 with these agents";
            return plan;
        }
        plan.measured = true;
        plan.service = *s;
        plan.met = meets(*s, settings);
        if (!plan.met) plan.note = "misses " + targetsText(settings);
        return plan;
    }
    // The smallest count that meets every target: from the load up or down
    // by doubling steps, then halving the gap.
    const int limit = agentLimit(m, settings);
    std::vector<std::optional<IntervalService>> tried(static_cast<std::size_t>(limit) + 2);
    std::vector<signed char> known(tried.size(), 0);
    const auto ok = [&](int s) {
        if (!known[static_cast<std::size_t>(s)]) {
            tried[static_cast<std::size_t>(s)] = serviceAt(m, settings, s);
            known[static_cast<std::size_t>(s)] = 1;
        }
        const auto& v = tried[static_cast<std::size_t>(s)];
        return v && meets(*v, settings);
    };
    int start = std::clamp(static_cast<int>(std::ceil(plan.load)), 1, limit);
    int miss = 0, hit = limit + 1;  // 0 misses by definition
    if (ok(start)) {
        hit = start;
        for (int step = 1; hit - step > miss; step *= 2) {
            const int s = hit - step;
            if (ok(s)) hit = s;
            else { miss = s; break; }
        }
    } else {
        miss = start;
        for (int step = 1; miss < limit; step *= 2) {
            const int s = std::min(limit, miss + step);
            if (ok(s)) { hit = s; break; }
            miss = s;
        }
    }
    if (hit > limit) {
        plan.met = false;
        plan.note = "no agent count up to " + std::to_string(limit) + " meets " + targetsText(settings);
        return plan;
    }
    while (hit - miss > 1) {
        const int mid = miss + (hit - miss) / 2;
        (ok(mid) ? hit : miss) = mid;
    }
    plan.measured = true;
    plan.service = *tried[static_cast<std::size_t>(hit)];
    plan.agents = hit;
    if (settings.fractional) {
        const std::optional<IntervalService> below = hit > 1 ? serviceAt(m, settings, hit - 1) : std::nullopt;
        plan.agents = fractionalAgents(below ? &*below : nullptr, plan.service, settings);
    }
    plan.scheduled = scheduledAgents(plan.agents, settings.shrinkage, settings.fractional);
    return plan;
}

BusiestInterval lookAtBusiest(const Forecast& forecast, const DayPlan& plan, const DayPlanSettings& settings) {
    std::size_t busiest = 0;
    for (std::size_t i = 1; i < plan.intervals.size(); ++i)
        if (plan.intervals[i].load > plan.intervals[busiest].load) busiest = i;
    BusiestInterval b;
    b.index = busiest;
    const IntervalPlan& p = plan.intervals[busiest];
    const IntervalModel m = intervalModel(forecast.intervals[busiest], settings);
    const int s = p.measured ? p.service.agents : std::max(1, static_cast<int>(std::ceil(p.load)));
    for (int a = std::max(1, s - kAgentsAround); a <= s + kAgentsAround; ++a) {
        std::vector<double> extra;
        std::vector<double>* curve = nullptr;
        if (a == s) {
            for (int k = 1; k <= kCurveSteps; ++k) extra.push_back(kCurveReach * settings.serviceSeconds * k / kCurveSteps);
            b.waitTimes.push_back(0);
            b.waitTimes.insert(b.waitTimes.end(), extra.begin(), extra.end());
            curve = &b.waitCurve;
        }
        const std::optional<IntervalService> service = serviceAt(m, settings, a, extra, curve);
        b.agents.push_back(a);
        b.serviceLevel.push_back(service ? service->serviceLevel : kNaN);
    }
    return b;
}

}  // namespace

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

DayPlan planDay(const Forecast& forecast, const DayPlanSettings& settings, bool withBusiest) {
    if (!(settings.intervalMinutes > 0) || !std::isfinite(settings.intervalMinutes))
        throw RunFailure("the interval length must be a number of minutes above 0");
    if (!(settings.shrinkage >= 0 && settings.shrinkage < 1))
        throw RunFailure("shrinkage must be at least 0 % and below 100 %");
    DayPlan plan;
    const std::size_t n = forecast.intervals.size();
    plan.intervals.resize(n);
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto work = [&] {
        for (std::size_t i = next++; i < n; i = next++) {
            try {
                plan.intervals[i] = planInterval(forecast, i, settings);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureMutex);
                if (!failure) failure = std::current_exception();
                next = n;
            }
        }
    };
    const unsigned jobs = std::max(1u, std::min<unsigned>(settings.jobs, static_cast<unsigned>(n)));
    std::vector<std::thread> threads;
    for (unsigned j = 1; j < jobs; ++j) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);

    const double hours = settings.intervalMinutes / kSecondsPerMinute;
    double servedWeight = 0, sl = 0, abandon = 0;
    for (const IntervalPlan& p : plan.intervals) {
        const double calls = forecast.intervals[p.index].calls;
        plan.totals.calls += calls;
        plan.totals.agentHours += p.agents * hours;
        plan.totals.scheduledHours += p.scheduled * hours;
        plan.allMet = plan.allMet && p.met;
        if (p.measured) {
            servedWeight += calls;
            sl += calls * p.service.serviceLevel;
            abandon += calls * p.service.abandonment;
        }
    }
    plan.totals.serviceLevel = servedWeight > 0 ? sl / servedWeight : kNaN;
    plan.totals.abandonment = servedWeight > 0 ? abandon / servedWeight : kNaN;
    if (withBusiest && plan.totals.calls > 0) plan.busiest = lookAtBusiest(forecast, plan, settings);
    return plan;
}

}  // namespace queuecalc
