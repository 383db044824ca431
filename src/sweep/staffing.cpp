#include "sweep/staffing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "input/input_checks.h"

namespace queuecalc {
namespace sweep {

namespace {

constexpr int kDefaultWaitingPlacesLimit = 1000;
constexpr double kServersBeyondLoad = 1000;

bool needsCurves(const StaffingProblem& problem) {
    for (const Target& t : problem.targets)
        if (t.tau > 0) return true;
    return false;
}

class Probes {
public:
    Probes(const StaffingProblem& problem, const StaffingEvaluator& evaluate)
        : problem_(problem), evaluate_(evaluate), curves_(needsCurves(problem)) {}

    bool meets(int value) {
        const std::vector<double>& margins = probe(value).margins;
        for (double m : margins)
            if (!(m >= 0)) return false;
        return true;
    }

    // Each target's margin never falls from one evaluated value to the next.
    bool monotone() const {
        for (auto it = probes_.begin(); it != probes_.end(); ++it) {
            const auto next = std::next(it);
            if (next == probes_.end()) break;
            for (std::size_t t = 0; t < it->second.margins.size(); ++t)
                if (!(next->second.margins[t] >= it->second.margins[t])) return false;
        }
        return true;
    }

    int evaluations() const { return evaluations_; }

    StaffingResult found(int value, bool scanned) {
        StaffingResult result;
        result.found = true;
        result.value = value;
        // The probes already hold the threshold columns when a target needed them.
        result.values = curves_ ? probe(value).columns : evaluate_(value, true);
        result.evaluations = evaluations_ + (curves_ ? 0 : 1);
        result.scanned = scanned;
        return result;
    }

    StaffingResult notFound(bool scanned) const {
        StaffingResult result;
        result.evaluations = evaluations_;
        result.scanned = scanned;
        return result;
    }

private:
    struct Probe {
        std::vector<double> columns;
        std::vector<double> margins;  // one per target
    };

    const Probe& probe(int value) {
        const auto known = probes_.find(value);
        if (known != probes_.end()) return known->second;
        Probe p;
        p.columns = evaluate_(value, curves_);
        ++evaluations_;
        for (std::size_t t = 0; t < problem_.targets.size(); ++t)
            p.margins.push_back(targetMargin(problem_.targets[t], p.columns[problem_.targetColumns[t]]));
        return probes_.emplace(value, std::move(p)).first->second;
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

StaffingProblem makeStaffingProblem(StaffedField field, const std::vector<Target>& targets,
                                    const std::vector<double>& moments, int limit, const ModelInput& input) {
    StaffingProblem problem;
    problem.field = field;
    problem.smallest = field == StaffedField::Servers ? 1 : 0;
    problem.largest = limit > 0 ? limit : defaultStaffingLimit(field, input);
    problem.targets = targets;
    for (const Target& t : targets) problem.targetColumns.push_back(targetColumn(t, moments));
    return problem;
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

}  // namespace sweep
}  // namespace queuecalc
