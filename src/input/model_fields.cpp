#include "input/model_fields.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/number_text.h"
#include "input/input_checks.h"

namespace queuecalc {

const std::vector<ModelField>& modelFields() {
    static const std::vector<ModelField> fields = {
        {"consoleReport", FieldType::Whole, 1, "console report switch"},
        {"abandonType", FieldType::Whole, 2, "abandonment time distribution"},
        {"abandonParam1", FieldType::Real, 3, "1st parameter of the abandonment time distribution"},
        {"abandonParam2", FieldType::Real, 4, "2nd parameter of the abandonment time distribution"},
        {"abandonParam3", FieldType::Real, 5, "3rd parameter of the abandonment time distribution"},
        {"servers", FieldType::Whole, 6, "number of servers"},
        {"waitingPlaces", FieldType::Whole, 7, "number of extra waiting spaces"},
        {"serviceRate", FieldType::Real, 8, "individual service rate"},
        {"arrivalRate", FieldType::Real, 9, "arrival rate"},
        {"momentInterval", FieldType::Real, 10, "time in between measurement moments"},
        {"inversionTerms", FieldType::Whole, 11, "number of terms to sum for each measurement moment"},
        {"maxTime", FieldType::Real, 12, "maximum time instance"},
        {"inversionMethod", FieldType::Whole, 13, "inverse Laplace transform algorithm"},
    };
    return fields;
}

const ModelField& modelFieldAt(int position) {
    return modelFields()[static_cast<std::size_t>(position - 1)];
}

const ModelField* findModelField(const std::string& name) {
    for (const ModelField& field : modelFields())
        if (name == field.name) return &field;
    return nullptr;
}

namespace {

// Where each field lives in ModelInput, by position - 1: one of the two
// members is set.
struct FieldMember {
    int ModelInput::*whole;
    double ModelInput::*real;
};

const FieldMember kMembers[] = {
    {&ModelInput::consoleReport, nullptr},   {&ModelInput::abandonType, nullptr},
    {nullptr, &ModelInput::abandonParam1},   {nullptr, &ModelInput::abandonParam2},
    {nullptr, &ModelInput::abandonParam3},   {&ModelInput::servers, nullptr},
    {&ModelInput::waitingPlaces, nullptr},   {nullptr, &ModelInput::serviceRate},
    {nullptr, &ModelInput::arrivalRate},     {nullptr, &ModelInput::momentInterval},
    {&ModelInput::inversionTerms, nullptr},  {nullptr, &ModelInput::maxTime},
    {&ModelInput::inversionMethod, nullptr},
};

const FieldMember& memberOf(const ModelField& field) { return kMembers[field.position - 1]; }

}  // namespace

double modelFieldValue(const ModelInput& input, const ModelField& field) {
    const FieldMember& member = memberOf(field);
    if (field.type == FieldType::Whole) return input.*member.whole;
    return input.*member.real;
}

std::string wholeFieldLimit(const ModelField& field) {
    const std::string name = field.name;
    if (name == "servers")
        return "at most " + std::to_string(kMaxSystemSize) + " agents and waiting places together";
    if (name == "waitingPlaces") return "at most " + std::to_string(kMaxWaitingPlaces) + " waiting places";
    if (name == "inversionTerms") return "at most " + std::to_string(kMaxInversionTerms) + " terms";
    return "from " + std::to_string(std::numeric_limits<int>::lowest()) + " to " +
           std::to_string(std::numeric_limits<int>::max());
}

void setModelField(ModelInput& input, const ModelField& field, double value) {
    if (field.type == FieldType::Real) {
        input.*memberOf(field).real = value;
        return;
    }
    if (std::floor(value) != value)  // also NaN
        throw std::invalid_argument(std::string(field.name) + " takes whole numbers only, not " + formatValue(value));
    if (!(value >= std::numeric_limits<int>::lowest() && value <= std::numeric_limits<int>::max()))
        throw std::invalid_argument(std::string(field.name) + " = " + formatValue(value) +
                                    " is beyond what the model takes: " + wholeFieldLimit(field));
    const int whole = static_cast<int>(value);
    int ModelInput::*const member = memberOf(field).whole;
    // The two choices are set with their decoded enums.
    if (member == &ModelInput::abandonType) {
        input.setAbandonType(whole);
    } else if (member == &ModelInput::inversionMethod) {
        input.setInversionMethod(whole);
    } else {
        input.*member = whole;
    }
}

}  // namespace queuecalc
