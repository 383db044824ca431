#pragma once
// A day plan: the staffing of every interval of a forecast, in the planner's
// units (calls per interval, seconds, shares), on the checked evaluation of
// one scenario per interval and agent count.
//
// Per interval with calls > 0, in the time unit of seconds:
//   arrival rate  lambda = calls / (intervalMinutes * 60)
//   service rate  mu     = 1 / aht
//   load                 = lambda / mu = calls * aht / (intervalMinutes * 60)  Erlangs
//   patience             mean m: exponential rate 1/m, Erlang K phases of rate K/m,
//                        lognormal with mean m and variance (CV m)^2; no mean: nobody abandons
// and for s agents and r waiting places (L = P(Loss)):
//   SL(tau)     = (1 - L) (P(NoWait) + P(0 < W <= tau, S))   share of offered calls answered within tau
//   ASA         = E[W | S]                                  seconds
//   abandonment = P(A)                                      share of admitted calls that hang up
//   occupancy   = lambda (1 - L) P(S) / (s mu)
// The planned agents are the smallest s that meets every target, by the
// staffing search of analysis/staffing.h (a count whose checks fail never
// decides the answer). Counts below share * load cannot meet an SL target
// (the agents answer at most s mu calls a second, so SL <= s / load), and
// without abandonment no automatic room keeps the loss small for counts up to
// the load (the queue grows without bound): the search starts above both. An interval without calls needs 0 agents.
// scheduled = ceil(agents / (1 - shrinkage)).
//
// Agents on hand (a staffed column: net; a scheduled column: on the roster,
// net floor(scheduled (1 - shrinkage)), or that level unrounded with
// fractional agents): the service is theirs, and beside it the required
// agents (the plan's answer to the targets) and the gap, on hand minus
// required (negative when short).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "analysis/findings.h"
#include "core/stop_request.h"
#include "input/forecast.h"

namespace queuecalc {

enum class PatienceShape { Exponential, Erlang, Lognormal };

struct PatienceLaw {
    PatienceShape shape = PatienceShape::Exponential;
    int phases = 2;    // Erlang: 1 .. 12
    double cv = 1;     // lognormal: standard deviation / mean, > 0
    // Mean patience in seconds where the forecast has no patience column;
    // none: nobody abandons (the classical model of an infinitely patient caller).
    std::optional<double> meanSeconds;
};

// The waiting room of every interval.
struct WaitingRoom {
    enum class Kind {
        Automatic,  // per interval and agent count, the fewest places with P(Loss) < kAutomaticLoss
        Lines,      // count = lines in all: r = count - s (so s <= count)
        Places,     // count = r
    };
    Kind kind = Kind::Automatic;
    int count = 0;
};

// The automatic room keeps P(Loss) below this: a loss no forecast can tell
// from none.
constexpr double kAutomaticLoss = 1e-9;
// ... with at most this many waiting places (the position tables of 2,000
// places take 48 MB per scenario); an agent count that would need more is
// counted as not meeting the targets.
constexpr int kAutomaticRoomLimit = 2000;

// Terms of the inversions (the exact method takes none): Euler is most
// accurate at 20 to 24 terms; Talbot needs 48 on large centres (see the
// README's "How many terms M").
constexpr int kEulerTerms = 24;
constexpr int kTalbotTerms = 48;

struct DayPlanSettings {
    double intervalMinutes = 30;
    double serviceSeconds = 20;                // tau of SL(tau), reported always
    // The targets (each a row of analysis/plan_targets.h); none: no such target.
    std::optional<double> serviceShare = 0.8;  // the SL target
    std::optional<double> maxAbandon;          // share of admitted calls
    std::optional<double> maxAsa;              // seconds
    std::optional<double> maxOccupancy;        // share
    double shrinkage = 0.3;                    // share of paid time off the phones, 0 <= . < 1
    double hoursPerFte = 37.5;                 // paid hours of one full-time agent a week, for FTE
    PatienceLaw patience;
    WaitingRoom room;
    // The exact model unless asked otherwise, as in the programs.
    QueueModelChoice model = QueueModelChoice::Exact;
    WaitingMethod method = WaitingMethod::Exact;  // the chain's, with a certified bound on SL
    bool fractional = false;
    // With agents on hand: the SL target of the required agents where the
    // service has none of its own (no --sl), so that the gap is always
    // measured against a target.
    std::optional<double> requiredServiceShare;
    int agentLimit = 0;  // 0: per interval 2 * ceil(load) + 1000
    unsigned jobs = 1;   // intervals planned side by side
    bool hasTargets() const;  // any target of analysis/plan_targets.h set
};

// The measures of one interval at one agent count.
struct IntervalService {
    int agents = 0;
    int waitingPlaces = 0;
    double serviceLevel = 0;  // share of offered calls
    double asa = 0;           // seconds
    double abandonment = 0;   // share of admitted calls
    double occupancy = 0;     // share
    double lossProb = 0;
    std::optional<double> bound;  // the method's bound on |error| of serviceLevel, where it gives one
};

enum class IntervalOutcome {
    Planned,     // the fewest agents that meet every target
    NoCalls,     // 0 agents
    Measured,    // the service of the staffed agents (the reverse question)
    NoAgents,    // staffed with 0 agents while calls come: nothing is answered
    NoStaffing,  // no count up to `limit` meets every target (findings: why)
};

struct IntervalPlan {
    std::size_t index = 0;  // in the forecast
    double load = 0;        // Erlangs
    IntervalOutcome outcome = IntervalOutcome::Planned;
    bool met = true;        // every target met (with no calls: trivially)
    bool measured = false;  // `service` holds numbers
    IntervalService service;
    double agents = 0;      // planned (or staffed) agents; fractional with settings.fractional
    double scheduled = 0;   // agents / (1 - shrinkage), rounded up unless fractional
    int limit = 0;          // the most agents the search tried
    // The automatic room could not keep P(Loss) below kAutomaticLoss with
    // kAutomaticRoomLimit places at these agents (the largest room is used).
    bool roomShort = false;
    // The checks' findings at the agents reported, or why the search found none.
    std::vector<Finding> findings;
    // With the exact model and a patience that is not exponential: the
    // agents the chain approximation would plan, where they differ.
    std::optional<int> chainAgents;
    // With agents on hand: those on hand (net) and the agents the targets
    // require (none where no count meets them); gap = onHand - required.
    std::optional<double> onHand;
    std::optional<double> required;
};

struct DayPlanTotals {
    double calls = 0;
    double agentHours = 0;      // sum of agents * interval length
    double scheduledHours = 0;
    double serviceLevel = 0;    // weighted by calls (NaN without calls)
    double abandonment = 0;     // weighted by calls
    // With agents on hand: agent-hours on hand and required (the intervals
    // with a required count), and the gap between them over those intervals.
    double onHandHours = 0;
    double requiredHours = 0;
    double gapHours = 0;
};

// The busiest interval (the largest load) looked at closely, for the report.
struct BusiestInterval {
    std::size_t index = 0;
    std::vector<int> agents;            // s - 5 .. s + 5 (from 1)
    std::vector<double> serviceLevel;   // SL(tau) at each (NaN where the checks fail)
    std::vector<double> abandonment;    // P(A) at each (NaN where the checks fail)
    std::vector<double> waitTimes;      // t from 0 to 3 tau, seconds
    std::vector<double> waitCurve;      // P(W <= t | S) at the planned agents
    int curveAgents = 0;                // the agents of waitCurve (ceil(load) where none was planned)
};

// The totals of one day of a forecast with a date or day column.
struct DayTotals {
    std::string day;                    // as written in the forecast
    std::vector<std::size_t> intervals; // its intervals (indexes of DayPlan::intervals), in the forecast's order
    DayPlanTotals totals;
};

struct DayPlan {
    std::vector<IntervalPlan> intervals;
    DayPlanTotals totals;               // of every interval (a week's with many days)
    std::vector<DayTotals> days;        // per day, in the order of their first interval; empty without a day column
    bool allMet = true;
    std::size_t unmet = 0;  // intervals that miss a target
    // Intervals that meet their targets while losing more than kLossWarning
    // of the calls (a small room turns callers away), and the largest loss.
    std::size_t throughLoss = 0;
    double worstLoss = 0;
    std::optional<BusiestInterval> busiest;  // only when asked for and some interval has calls
};

// How a caller follows a plan and ends it early; both optional.
struct DayPlanControl {
    // Read between intervals and before each agent count is evaluated: once
    // made, planDay throws Stopped (core/stop_request.h).
    const StopRequest* stop = nullptr;
    // Intervals planned, intervals in all: after each interval, and before
    // each agent count is evaluated, so that a long interval is seen too.
    // Called on the worker threads, one call at a time.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

// Plans every interval. Throws RunFailure for settings without meaning
// (no target and no staffed column, say).
DayPlan planDay(const Forecast& forecast, const DayPlanSettings& settings, bool withBusiest = false,
                const DayPlanControl& control = DayPlanControl());

// The automatic room of a scenario with its own agents (input.servers): the
// fewest waiting places, at most kAutomaticRoomLimit, with P(Loss) below
// kAutomaticLoss, as the plan gives each interval; none where even the limit
// loses more. Throws RunFailure where the input checks refuse the patience.
std::optional<int> automaticWaitingPlaces(const ModelInput& input);

// The model's rates of one interval (exposed for the tests).
double arrivalRatePerSecond(double calls, double intervalMinutes);
double loadErlangs(double calls, double aht, double intervalMinutes);
double scheduledAgents(double agents, double shrinkage, bool fractional);

}  // namespace queuecalc
