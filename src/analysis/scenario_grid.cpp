#include "analysis/scenario_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "analysis/usage_error.h"
#include "core/echo_text.h"
#include "core/number_text.h"

namespace queuecalc {
namespace {

// A list or range longer than this is surely a typo (and its size would not
// fit the grid's count for long).
constexpr double kMaxValuesPerField = 1e12;

// A real range ends on TO when its last step lands within this share of a
// step of it: far above the rounding of (TO - FROM) / STEP (a few units in
// the last place), far below any step a user means.
constexpr double kLandingTolerance = 1e-9;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// "NAME=REST" -> the field and REST.
std::pair<const ModelField*, std::string> splitAssignment(const std::string& text, const char* option) {
    const std::string::size_type equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError(std::string(option) + " '" + echoText(text) + "': expected NAME=VALUE");
    const std::string name = text.substr(0, equals);
    const ModelField* field = findModelField(name);
    if (field == nullptr) {
        std::string known;
        for (const ModelField& f : modelFields()) known += (known.empty() ? "" : ", ") + std::string(f.name);
        throw UsageError(std::string(option) + " '" + echoText(text) + "': no field named '" + echoText(name) + "' (fields: " + known + ")");
    }
    return {field, text.substr(equals + 1)};
}

}  // namespace

double parseFieldValue(const ModelField& field, const std::string& text) {
    if (field.type == FieldType::Whole) {
        const WholeNumber read =
            readWholeNumber(text, std::numeric_limits<int>::lowest(), std::numeric_limits<int>::max());
        if (read.problem == WholeNumber::Problem::NotANumber)
            throw UsageError(std::string(field.name) + " takes whole numbers: '" + echoText(text) + "' is not one");
        if (!read.ok())
            throw UsageError(std::string(field.name) + ": '" + echoText(text) + "' is beyond what the model takes: " +
                             wholeFieldLimit(field));
        return static_cast<double>(read.value);
    }
    // Formatted extraction, as the input file's reader reads a real value.
    std::istringstream in(text);
    double value = 0;
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || !(in >> value) ||
        in.peek() != std::char_traits<char>::eof())
        throw UsageError(std::string(field.name) + " takes numbers: '" + echoText(text) + "' is not one");
    return value;
}

FieldSetting parseSetting(const std::string& text) {
    const auto assignment = splitAssignment(text, "--set");
    return {assignment.first, parseFieldValue(*assignment.first, assignment.second)};
}

double FieldValues::at(std::size_t i) const {
    if (!list_.empty()) return list_[i];
    if (i + 1 == count_) return last_;
    return from_ + static_cast<double>(i) * step_;
}

FieldValues FieldValues::parse(const std::string& text) {
    const auto assignment = splitAssignment(text, "--vary");
    FieldValues values;
    values.field_ = assignment.first;
    const ModelField& field = *values.field_;
    const std::string& valuesText = assignment.second;
    const std::string where = "--vary '" + echoText(text) + "': ";

    if (valuesText.find(':') == std::string::npos) {
        for (const std::string& item : split(valuesText, ',')) values.list_.push_back(parseFieldValue(field, item));
        values.count_ = values.list_.size();
        return values;
    }
    const std::vector<std::string> parts = split(valuesText, ':');
    if (parts.size() > 3) throw UsageError(where + "expected FROM:TO or FROM:TO:STEP");
    if (parts.size() == 2 && field.type == FieldType::Real)
        throw UsageError(where + std::string(field.name) +
                         " is a real field: give a step (FROM:TO:STEP) or a list (V1,V2,...)");
    const double from = parseFieldValue(field, parts[0]);
    const double to = parseFieldValue(field, parts[1]);
    const double step = parts.size() == 3 ? parseFieldValue(field, parts[2]) : 1.0;
    if (!(step != 0) || !std::isfinite(step) || !std::isfinite(from) || !std::isfinite(to))
        throw UsageError(where + "the step must be a finite number other than 0");
    const double steps = (to - from) / step;  // exact for whole numbers below 2^53
    if (!(steps > -kLandingTolerance))
        throw UsageError(where + "the step leads away from TO: the range is empty");
    if (!(steps < kMaxValuesPerField)) throw UsageError(where + "too many values");

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
        throw UsageError(where + "outside the range of whole numbers");
    return values;
}

ScenarioGrid::ScenarioGrid(std::vector<FieldValues> dimensions) : dimensions_(std::move(dimensions)) {
    for (const FieldValues& d : dimensions_) {
        if (d.size() != 0 && size_ > std::numeric_limits<std::size_t>::max() / d.size())
            throw UsageError("the grid has more scenarios than this program can count");
        size_ *= d.size();
    }
}

std::vector<double> ScenarioGrid::values(std::size_t index) const {
    std::vector<double> result(dimensions_.size());
    for (std::size_t d = dimensions_.size(); d-- > 0;) {  // the last varies fastest
        const std::size_t n = dimensions_[d].size();
        result[d] = dimensions_[d].at(index % n);
        index /= n;
    }
    return result;
}

void ScenarioGrid::apply(std::size_t index, ModelInput& input) const {
    const std::vector<double> v = values(index);
    for (std::size_t d = 0; d < dimensions_.size(); ++d) setModelField(input, *dimensions_[d].field(), v[d]);
}

Shard parseShard(const std::string& text) {
    const std::string expected = "--shard '" + echoText(text) + "': expected I/N with 0 <= I < N <= " +
                                 std::to_string(kMaxShardParts);
    const std::string::size_type slash = text.find('/');
    const auto number = [&](const std::string& part) -> std::size_t {
        const WholeNumber read = readWholeNumber(part, 0, static_cast<long long>(kMaxShardParts));
        if (!read.ok()) throw UsageError(expected);
        return static_cast<std::size_t>(read.value);
    };
    if (slash == std::string::npos) throw UsageError(expected);
    Shard shard{number(text.substr(0, slash)), number(text.substr(slash + 1))};
    if (shard.parts == 0 || shard.part >= shard.parts || shard.parts > kMaxShardParts) throw UsageError(expected);
    return shard;
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
