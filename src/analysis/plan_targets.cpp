#include "analysis/plan_targets.h"

#include <algorithm>

namespace queuecalc {

const std::vector<PlanTargetKind>& planTargetKinds() {
    constexpr bool kAtLeast = true, kAtMost = false;
    constexpr bool kAtTau = true, kNoTau = false;
    // Fields: setting, measure, column, atLeast, atTau, withoutAgents;
    // unit, name, option, help, note, settingWords; chartLines (the
    // per-interval charts "sl" and "abandonment", and "sl-agents": the
    // busiest interval's against agents).
    static const std::vector<PlanTargetKind> kinds = {
        {&DayPlanSettings::serviceShare, &IntervalService::serviceLevel, Measure::ServiceLevel, kAtLeast, kAtTau,
         0.0,  // nobody answers
         TargetUnit::Share, "service level", nullptr, nullptr, "SL {bound}/{tau}",
         "{bound} % of offered calls answered within {tau} s",  //
         {{"sl", "target {bound} %"}, {"sl-agents", "SL target {bound} %"}}},
        {&DayPlanSettings::maxAbandon, &IntervalService::abandonment, Measure::AbandonProb, kAtMost, kNoTau,
         1.0,  // every admitted caller hangs up
         TargetUnit::Share, "abandonment", "--max-abandon",
         "  --max-abandon PERCENT  at most this share of callers hang up (default: no limit)\n",
         "abandonment <= {bound}%", "abandonment at most {bound} %",  //
         {{"abandonment", "limit {bound} %"}, {"sl-agents", "abandonment limit {bound} %"}}},
        {&DayPlanSettings::maxAsa, &IntervalService::asa, Measure::ASA, kAtMost, kNoTau, std::nullopt,  //
         TargetUnit::Seconds, "ASA", "--max-asa",
         "  --max-asa SECONDS      average speed of answer at most this (default: no limit)\n",
         "ASA <= {bound} s", "ASA at most {bound} s", {}},
        {&DayPlanSettings::maxOccupancy, &IntervalService::occupancy, Measure::Occupancy, kAtMost, kNoTau,
         std::nullopt,  //
         TargetUnit::Share, "occupancy", "--max-occupancy",
         "  --max-occupancy PERCENT  agents busy at most this share of the time (default: no limit)\n",
         "occupancy <= {bound}%", "occupancy at most {bound} %", {}},
    };
    return kinds;
}

bool DayPlanSettings::hasTargets() const {
    const auto& kinds = planTargetKinds();
    return std::any_of(kinds.begin(), kinds.end(), [&](const PlanTargetKind& k) { return targetBound(k, *this).has_value(); });
}

std::optional<double>& targetSetting(const PlanTargetKind& kind, DayPlanSettings& settings) {
    return settings.*kind.setting;
}

bool meetsTarget(const PlanTargetKind& kind, double bound, const IntervalService& service) {
    const double value = service.*kind.measure;
    return kind.atLeast ? value >= bound : value <= bound;
}

bool meetsTargets(const IntervalService& service, const DayPlanSettings& settings) {
    for (const PlanTargetKind& kind : planTargetKinds()) {
        const std::optional<double> bound = targetBound(kind, settings);
        if (bound && !meetsTarget(kind, *bound, service)) return false;
    }
    return true;
}

std::vector<Target> planTargets(const DayPlanSettings& settings) {
    std::vector<Target> targets;
    for (const PlanTargetKind& kind : planTargetKinds()) {
        const std::optional<double> bound = targetBound(kind, settings);
        if (!bound) continue;
        Target target;
        target.column.measure = kind.column;
        target.column.tau = kind.atTau ? settings.serviceSeconds : 0;
        target.atLeast = kind.atLeast;
        target.bound = *bound;
        targets.push_back(target);
    }
    return targets;
}

double fractionalAgents(const IntervalService* below, const IntervalService& at, const DayPlanSettings& settings) {
    const double base = at.agents - 1;
    double x = base;
    // Where the line from `from` (at s - 1) to `to` (at s) crosses the bound.
    const auto reach = [](double from, double to, double bound) {
        return to == from ? 1.0 : std::clamp((bound - from) / (to - from), 0.0, 1.0);
    };
    for (const PlanTargetKind& kind : planTargetKinds()) {
        const std::optional<double> bound = targetBound(kind, settings);
        if (!bound) continue;
        if (below != nullptr) {
            // Strictly on the wrong side: a NaN at s - 1 moves nothing.
            const double from = below->*kind.measure;
            if (kind.atLeast ? from < *bound : from > *bound)
                x = std::max(x, base + reach(from, at.*kind.measure, *bound));
        } else if (kind.withoutAgents) {
            x = std::max(x, base + reach(*kind.withoutAgents, at.*kind.measure, *bound));
        } else {
            x = std::max(x, base + 1);
        }
    }
    return x;
}

IntervalService serviceBetween(const IntervalService* below, const IntervalService& at, double t) {
    IntervalService s = at;
    const auto mix = [t](double from, double to) { return from + (to - from) * t; };
    for (const PlanTargetKind& kind : planTargetKinds()) {
        if (below != nullptr) s.*kind.measure = mix(below->*kind.measure, at.*kind.measure);
        else if (kind.withoutAgents) s.*kind.measure = mix(*kind.withoutAgents, at.*kind.measure);
    }
    if (below != nullptr) s.lossProb = mix(below->lossProb, at.lossProb);
    return s;
}

}  // namespace queuecalc
