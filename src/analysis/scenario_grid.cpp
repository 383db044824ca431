#include "analysis/scenario_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/failure.h"

namespace queuecalc {
namespace {

// A list or range longer than this is surely a typo (and its size would not
// fit the grid's count for long).
constexpr double kMaxValuesPerField = 1e12;

// A real range ends on TO when its last step lands within this share of a
// step of it: far above the rounding of (TO - FROM) / STEP (a few units in
// the last place), far below any step a user means.
constexpr double kLandingTolerance = 1e-9;

}  // namespace

double FieldValues::at(std::size_t i) const {
    if (!list_.empty()) return list_[i];
    if (i + 1 == count_) return last_;
    return from_ + static_cast<double>(i) * step_;
}

FieldValues FieldValues::list(const ModelField& field, std::vector<double> values) {
    FieldValues result;
    result.field_ = &field;
    result.list_ = std::move(values);
    result.count_ = result.list_.size();
    return result;
}

FieldValues FieldValues::range(const ModelField& field, double from, double to, double step) {
    if (!(step != 0) || !std::isfinite(step) || !std::isfinite(from) || !std::isfinite(to))
        throw UsageError("the step must be a finite number other than 0");
    const double steps = (to - from) / step;  // exact for whole numbers below 2^53
    if (!(steps > -kLandingTolerance)) throw UsageError("the step leads away from TO: the range is empty");
    if (!(steps < kMaxValuesPerField)) throw UsageError("too many values");

    FieldValues values;
    values.field_ = &field;
    values.from_ = from;
    values.step_ = step;
    const double nearest = std::round(steps);
    if (std::fabs(steps - nearest) <= kLandingTolerance) {
        values.count_ = static_cast<std::size_t>(nearest) + 1;
        values.last_ = to;
    } else {
        const double whole = std::floor(steps);
        values.count_ = static_cast<std::size_t>(whole) + 1;
        values.last_ = from + whole * step;
    }
    if (field.type == FieldType::Whole && !(values.last_ >= std::numeric_limits<int>::lowest() &&
                                            values.last_ <= std::numeric_limits<int>::max()))
        throw UsageError("outside the range of whole numbers");
    return values;
}

namespace {

std::vector<ScenarioGrid::Tied> untied(std::vector<FieldValues> dimensions) {
    std::vector<ScenarioGrid::Tied> tied;
    for (FieldValues& d : dimensions) tied.push_back({std::move(d)});
    return tied;
}

}  // namespace

ScenarioGrid::ScenarioGrid(std::vector<FieldValues> dimensions) : ScenarioGrid(untied(std::move(dimensions))) {}

ScenarioGrid::ScenarioGrid(std::vector<Tied> dimensions) {
    for (Tied& tied : dimensions) {
        if (tied.empty()) throw UsageError("a dimension of the grid varies no field");
        const std::size_t n = tied.front().size();
        for (const FieldValues& f : tied)
            if (f.size() != n)
                throw UsageError("the fields varied together need one value each per point: " +
                                 std::string(tied.front().field()->name) + " has " + std::to_string(n) + ", " +
                                 f.field()->name + " has " + std::to_string(f.size()));
        if (n != 0 && size_ > std::numeric_limits<std::size_t>::max() / n)
            throw UsageError("the grid has more scenarios than this program can count");
        size_ *= n;
        for (FieldValues& f : tied) fields_.push_back(std::move(f));
        firstField_.push_back(fields_.size());
    }
}

std::vector<double> ScenarioGrid::values(std::size_t index) const {
    std::vector<double> result(fields_.size());
    for (std::size_t d = firstField_.size() - 1; d-- > 0;) {  // the last varies fastest
        const std::size_t n = fields_[firstField_[d]].size();
        for (std::size_t f = firstField_[d]; f < firstField_[d + 1]; ++f) result[f] = fields_[f].at(index % n);
        index /= n;
    }
    return result;
}

void ScenarioGrid::apply(std::size_t index, ModelInput& input) const {
    const std::vector<double> v = values(index);
    for (std::size_t f = 0; f < fields_.size(); ++f) setModelField(input, *fields_[f].field(), v[f]);
}

std::pair<std::size_t, std::size_t> shardRange(std::size_t gridSize, const Shard& shard) {
    // Part i starts at i * q + min(i, rest): the first `rest` parts take one
    // scenario more. No product exceeds gridSize, so nothing overflows.
    const std::size_t q = gridSize / shard.parts;
    const std::size_t rest = gridSize % shard.parts;
    const auto start = [&](std::size_t i) { return i * q + std::min(i, rest); };
    return {start(shard.part), start(shard.part + 1)};
}

}  // namespace queuecalc
