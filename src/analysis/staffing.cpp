#include "analysis/staffing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "core/failure.h"
#include "core/number_text.h"
#include "input/input_checks.h"
#include "input/model_fields.h"

namespace queuecalc {

const ModelField& staffedModelField(StaffedField field) {
    return modelField(field == StaffedField::Servers ? &ModelInput::servers : &ModelInput::waitingPlaces);
}

namespace {

constexpr int kDefaultWaitingPlacesLimit = 1000;
constexpr double kServersBeyondLoad = 1000;

bool needsCurves(const StaffingProblem& problem) { return !targetThresholds(problem.targets).empty(); }

// The staffed field's place in the input file.
int staffedPosition(StaffedField field) { return staffedModelField(field).position; }

class Probes {
public:
    Probes(const StaffingProblem& problem, const StaffingEvaluator& evaluate)
        : problem_(problem), evaluate_(evaluate), curves_(needsCurves(problem)) {}

    // A failed probe's margins are NaN, so that it misses.
    bool meets(int value) {
        const std::vector<double>& margins = probe(value).margins;
        for (double m : margins)
            if (!(m >= 0)) return false;
        return true;
    }

    // Each target's margin never falls from one evaluated value to the next
    // (among the values whose checks passed).
    bool monotone() const {
        const Probe* previous = nullptr;
        for (const auto& entry : probes_) {
            if (entry.second.failed) continue;
            if (previous)
                for (std::size_t t = 0; t < entry.second.margins.size(); ++t)
                    if (!(entry.second.margins[t] >= previous->margins[t])) return false;
            previous = &entry.second;
        }
        return true;
    }

    StaffingResult found(int value, bool scanned) {
        // v - 1 missed; the answer stands only where it missed with its
        // checks passed.
        if (value > problem_.smallest && probe(value - 1).failed) return checksFailed(value - 1, scanned);
        StaffingResult result;
        result.found = true;
        result.value = value;
        // The probes already hold the threshold columns when a target needed them.
        if (!curves_) throwIfStopped(problem_.stop);
        result.evaluation = curves_ ? probe(value).evaluation : evaluate_(value, true);
        result.evaluations = evaluations_ + (curves_ ? 0 : 1);
        result.scanned = scanned;
        return result;
    }

    // No hit up to the limit: because of the checks where the largest
    // value evaluated failed them.
    StaffingResult notFound(bool scanned) {
        for (auto it = probes_.rbegin(); it != probes_.rend(); ++it)
            if (it->second.failed) return checksFailed(it->first, scanned);
        StaffingResult result;
        Finding f;
        f.kind = FindingKind::NoStaffing;
        f.severity = Severity::NoResult;
        f.field = staffedPosition(problem_.field);
        f.staffValue = problem_.largest;
        f.value = problem_.smallest;
        f.remedy = Remedy::RaiseStaffLimit;
        result.findings.push_back(f);
        result.evaluations = evaluations_;
        result.scanned = scanned;
        return result;
    }

private:
    struct Probe {
        Evaluation evaluation;
        std::vector<double> margins;  // one per target
        bool failed = false;          // its checks failed
    };

    const Probe& probe(int value) {
        const auto known = probes_.find(value);
        if (known != probes_.end()) return known->second;
        throwIfStopped(problem_.stop);
        Probe p;
        p.evaluation = evaluate_(value, curves_);
        ++evaluations_;
        p.failed = anyFailsChecks(p.evaluation.findings);
        for (const Target& t : problem_.targets)
            p.margins.push_back(p.failed ? std::numeric_limits<double>::quiet_NaN()
                                         : targetMargin(t, columnValue(p.evaluation, t.column)));
        return probes_.emplace(value, std::move(p)).first->second;
    }

    // The search cannot answer: the checks fail at `value`. The finding
    // carries the first failed check's remedy; that check follows it.
    StaffingResult checksFailed(int value, bool scanned) {
        StaffingResult result;
        const std::vector<Finding>& found = probes_.at(value).evaluation.findings;
        const auto cause = std::find_if(found.begin(), found.end(), [](const Finding& f) { return failsChecks(f); });
        Finding f = *cause;
        f.kind = FindingKind::StaffingChecksFail;
        f.severity = Severity::NoResult;
        f.field = staffedPosition(problem_.field);
        f.staffValue = value;
        result.findings.push_back(f);
        result.findings.push_back(*cause);
        result.evaluations = evaluations_;
        result.scanned = scanned;
        return result;
    }

    const StaffingProblem& problem_;
    const StaffingEvaluator& evaluate_;
    const bool curves_;
    std::map<int, Probe> probes_;  // by value, ascending
    int evaluations_ = 0;
};

StaffingResult scan(const StaffingProblem& problem, Probes& probes) {
    for (int v = problem.smallest; v <= problem.largest; ++v)
        if (probes.meets(v)) return probes.found(v, true);
    return probes.notFound(true);
}

}  // namespace

StaffingProblem makeStaffingProblem(StaffedField field, const std::vector<Target>& targets, int limit,
                                    const ModelInput& input) {
    StaffingProblem problem;
    problem.field = field;
    problem.smallest = field == StaffedField::Servers ? 1 : 0;
    problem.largest = limit > 0 ? limit : defaultStaffingLimit(field, input);
    problem.targets = targets;
    return problem;
}

std::vector<double> targetThresholds(const std::vector<Target>& targets) {
    std::vector<double> thresholds;
    for (const Target& t : targets)
        if ((t.column.measure == Measure::ServiceLevel || t.column.measure == Measure::ConditionalWait) &&
            std::find(thresholds.begin(), thresholds.end(), t.column.tau) == thresholds.end())
            thresholds.push_back(t.column.tau);
    return thresholds;
}

StaffingEvaluator scenarioEvaluator(StaffedField field, const ModelInput& input, const EvaluationRequest& request,
                                    BinomialRows& rows) {
    const ModelField* staffed = &staffedModelField(field);
    // The request is copied once, with the evaluator; each call sets only its curves.
    return [input, r = request, &rows, staffed](int value, bool withCurves) mutable {
        ModelInput scenario = input;
        setModelField(scenario, *staffed, value);
        r.withCurves = withCurves;
        return evaluateScenario(scenario, r, rows);
    };
}

void checkStaffedLoad(double load, const std::string& what) {
    if (!(load > kMaxStaffedLoad)) return;
    throw RunFailure("an offered load of " + formatDigits(load, 9) + " Erlangs (" + what + ") is more than the " +
                     formatDigits(kMaxStaffedLoad, 9) + " Erlangs a staffing search takes");
}

int defaultStaffingLimit(StaffedField field, const ModelInput& input) {
    if (field == StaffedField::WaitingPlaces)
        return std::min(kDefaultWaitingPlacesLimit,
                        std::min(kMaxWaitingPlaces, kMaxSystemSize - std::max(input.servers, 0)));
    const double load = input.arrivalRate / input.serviceRate;
    const double room = static_cast<double>(kMaxSystemSize - std::max(input.waitingPlaces, 0));
    const double limit = 2 * std::ceil(load) + kServersBeyondLoad;
    // NaN and infinite loads (rejected later by the input checks) get the room.
    return static_cast<int>(limit >= 1 && limit < room ? limit : room);
}

StaffingResult findStaffing(const StaffingProblem& problem, const ModelInput& input,
                            const StaffingEvaluator& evaluate) {
    // Rates that are not positive finite numbers are the input checks' to
    // refuse, in their words, at the first evaluation.
    if (problem.field == StaffedField::Servers && std::isfinite(input.arrivalRate) && input.serviceRate > 0 &&
        std::isfinite(input.serviceRate))
        checkStaffedLoad(input.arrivalRate / input.serviceRate,
                         "arrivalRate " + formatValue(input.arrivalRate) + " / serviceRate " + formatValue(input.serviceRate));
    Probes probes(problem, evaluate);
    if (problem.largest < problem.smallest) return probes.notFound(false);
    int miss = problem.smallest;
    if (probes.meets(miss)) return probes.found(miss, false);
    if (miss == problem.largest) return probes.notFound(false);

    // First guess for agents: the offered load, where the queue turns from
    // overloaded to stable; then the distance from the last miss doubles.
    int hit = miss + 1;
    if (problem.field == StaffedField::Servers) {
        const double load = std::ceil(input.arrivalRate / input.serviceRate);
        if (load > hit && load < problem.largest) hit = static_cast<int>(load);
    }
    while (!probes.meets(hit)) {
        if (hit == problem.largest) {
            if (probes.monotone()) return probes.notFound(false);
            return scan(problem, probes);
        }
        const int distance = hit - miss;
        miss = hit;
        hit = static_cast<int>(std::min<long long>(problem.largest, static_cast<long long>(hit) + 2LL * distance));
    }
    while (hit - miss > 1) {
        const int middle = miss + (hit - miss) / 2;
        (probes.meets(middle) ? hit : miss) = middle;
    }
    if (!probes.monotone()) return scan(problem, probes);
    return probes.found(hit, false);
}

StaffingResult scanStaffing(const StaffingProblem& problem, const StaffingEvaluator& evaluate) {
    Probes probes(problem, evaluate);
    return scan(problem, probes);
}

}  // namespace queuecalc
