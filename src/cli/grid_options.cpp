#include "cli/grid_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "core/echo_text.h"
#include "core/failure.h"
#include "core/number_text.h"

namespace queuecalc {
namespace {

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

FieldValues parseFieldValues(const std::string& text) {
    const auto assignment = splitAssignment(text, "--vary");
    const ModelField& field = *assignment.first;
    const std::string& valuesText = assignment.second;
    const std::string where = "--vary '" + echoText(text) + "': ";

    if (valuesText.find(':') == std::string::npos) {
        std::vector<double> list;
        for (const std::string& item : split(valuesText, ',')) list.push_back(parseFieldValue(field, item));
        return FieldValues::list(field, std::move(list));
    }
    const std::vector<std::string> parts = split(valuesText, ':');
    if (parts.size() > 3) throw UsageError(where + "expected FROM:TO or FROM:TO:STEP");
    if (parts.size() == 2 && field.type == FieldType::Real)
        throw UsageError(where + std::string(field.name) +
                         " is a real field: give a step (FROM:TO:STEP) or a list (V1,V2,...)");
    const double from = parseFieldValue(field, parts[0]);
    const double to = parseFieldValue(field, parts[1]);
    const double step = parts.size() == 3 ? parseFieldValue(field, parts[2]) : 1.0;
    try {
        return FieldValues::range(field, from, to, step);
    } catch (const UsageError& refused) {
        throw UsageError(where + refused.what());
    }
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

}  // namespace queuecalc
