#include "analysis/columns.h"

namespace queuecalc {

Measure fixedMeasure(std::size_t index) { return static_cast<Measure>(index); }

bool givenAbandonment(Measure measure) {
    return measure == Measure::MeanWaitAbandon || measure == Measure::SecondMomentAbandon ||
           measure == Measure::VarianceAbandon;
}

std::vector<Column> resultColumns(const std::vector<double>& thresholds) {
    std::vector<Column> columns;
    columns.reserve(kFixedMeasureCount + 3 * thresholds.size());
    for (std::size_t i = 0; i < kFixedMeasureCount; ++i) columns.push_back({fixedMeasure(i), 0});
    for (double tau : thresholds) {
        columns.push_back({Measure::ServiceLevel, tau});
        columns.push_back({Measure::ServiceLevelBound, tau});
        columns.push_back({Measure::ConditionalWait, tau});
    }
    return columns;
}

double targetMargin(const Target& target, double value) {
    return target.atLeast ? value - target.bound : target.bound - value;
}

bool isShareMeasure(Measure measure) {
    switch (measure) {
        case Measure::LossProb:
        case Measure::NoWaitProb:
        case Measure::ServedProb:
        case Measure::AbandonProb:
        case Measure::Occupancy:
        case Measure::ServiceLevel:
        case Measure::ConditionalWait: return true;
        default: return false;
    }
}

}  // namespace queuecalc
