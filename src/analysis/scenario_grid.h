#pragma once
// The scenarios of a sweep: the base input with --set values, and the full
// grid of every --vary, the last one varying fastest. Scenario values are
// computed from the index, so a grid of any size takes the memory of its
// value lists only.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "input/model_fields.h"
#include "input/model_input.h"

namespace queuecalc {
// The values one dimension of a grid gives its field: a list, or the range
// FROM, FROM + STEP, ... up to TO, each point FROM + i * STEP (one product and
// one sum, never a running total). A real range whose last point lies within
// a billionth of a step of TO ends exactly on TO, so that rounding in the
// quotient (0.1:0.3:0.1) cannot drop it or move it.
class FieldValues {
public:
    const ModelField* field() const { return field_; }
    std::size_t size() const { return count_; }
    double at(std::size_t i) const;

    static FieldValues list(const ModelField& field, std::vector<double> values);
    // Throws UsageError (the reason alone) for a step that is 0 or not finite,
    // one leading away from TO, more than 1e12 values, or a whole-number range
    // beyond the range of int.
    static FieldValues range(const ModelField& field, double from, double to, double step);

private:
    const ModelField* field_ = nullptr;
    std::vector<double> list_;  // a list; empty for a range
    double from_ = 0, step_ = 0, last_ = 0;
    std::size_t count_ = 0;
};

// The scenarios of a grid: every combination of its dimensions' values, the
// last dimension varying fastest. A dimension is one field's values, or
// several fields' values tied together, each taking its i-th value at once
// (a patience model's three fields).
class ScenarioGrid {
public:
    // Fields that vary together: lists of one size.
    using Tied = std::vector<FieldValues>;

    ScenarioGrid() = default;  // one scenario: the base
    // Each field a dimension of its own. Throws UsageError when the grid has
    // more scenarios than a size_t counts.
    explicit ScenarioGrid(std::vector<FieldValues> dimensions);
    // Tied fields per dimension. Throws UsageError as above, or when tied
    // fields differ in their number of values or a dimension has no field.
    explicit ScenarioGrid(std::vector<Tied> dimensions);

    std::size_t size() const { return size_; }
    // Every varied field, in the order of the dimensions.
    const std::vector<FieldValues>& dimensions() const { return fields_; }

    // The varied values of scenario `index`, one per varied field.
    std::vector<double> values(std::size_t index) const;
    // Sets the varied fields of `input` to those of scenario `index`.
    void apply(std::size_t index, ModelInput& input) const;

private:
    std::vector<FieldValues> fields_;
    std::vector<std::size_t> firstField_{0};  // dimension d's fields: [firstField_[d], firstField_[d + 1])
    std::size_t size_ = 1;
};

// --shard I/N: the scenarios [first, last) of part I (0 <= I < N) of a grid
// cut into N consecutive parts of nearly equal size, so that the parts'
// tables put one after the other are the whole table.
struct Shard {
    std::size_t part = 0;
    std::size_t parts = 1;
};
constexpr std::size_t kMaxShardParts = 999999999;  // N: nine digits
std::pair<std::size_t, std::size_t> shardRange(std::size_t gridSize, const Shard& shard);

}  // namespace queuecalc
