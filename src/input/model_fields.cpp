#include "input/model_fields.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace queuecalc {

const std::vector<ModelField>& modelFields() {
    static const std::vector<ModelField> fields = {
        {"consoleReport", FieldType::Whole, 1},  {"abandonType", FieldType::Whole, 2},
        {"abandonParam1", FieldType::Real, 3},   {"abandonParam2", FieldType::Real, 4},
        {"abandonParam3", FieldType::Real, 5},   {"servers", FieldType::Whole, 6},
        {"waitingPlaces", FieldType::Whole, 7},  {"serviceRate", FieldType::Real, 8},
        {"arrivalRate", FieldType::Real, 9},     {"momentInterval", FieldType::Real, 10},
        {"inversionTerms", FieldType::Whole, 11}, {"maxTime", FieldType::Real, 12},
        {"inversionMethod", FieldType::Whole, 13},
    };
    return fields;
}

const ModelField* findModelField(const std::string& name) {
    for (const ModelField& field : modelFields())
        if (name == field.name) return &field;
    return nullptr;
}

namespace {

// For ModelInput and const ModelInput alike.
template <typename Input>
auto wholeField(Input& input, int position) -> decltype(&input.servers) {
    switch (position) {
        case 1: return &input.consoleReport;
        case 2: return &input.abandonType;
        case 6: return &input.servers;
        case 7: return &input.waitingPlaces;
        case 11: return &input.inversionTerms;
        case 13: return &input.inversionMethod;
        default: return nullptr;
    }
}

template <typename Input>
auto realField(Input& input, int position) -> decltype(&input.arrivalRate) {
    switch (position) {
        case 3: return &input.abandonParam1;
        case 4: return &input.abandonParam2;
        case 5: return &input.abandonParam3;
        case 8: return &input.serviceRate;
        case 9: return &input.arrivalRate;
        case 10: return &input.momentInterval;
        case 12: return &input.maxTime;
        default: return nullptr;
    }
}

}  // namespace

double modelFieldValue(const ModelInput& input, const ModelField& field) {
    if (field.type == FieldType::Whole) return *wholeField(input, field.position);
    return *realField(input, field.position);
}

void setModelField(ModelInput& input, const ModelField& field, double value) {
    if (field.type == FieldType::Real) {
        *realField(input, field.position) = value;
        return;
    }
    // The range test also refuses NaN.
    if (!(value >= std::numeric_limits<int>::lowest() && value <= std::numeric_limits<int>::max()) ||
        std::floor(value) != value)
        throw std::invalid_argument(std::string(field.name) + " takes whole numbers only");
    const int whole = static_cast<int>(value);
    if (field.position == 2) {
        input.setAbandonType(whole);
    } else if (field.position == 13) {
        input.setInversionMethod(whole);
    } else {
        *wholeField(input, field.position) = whole;
    }
}

}  // namespace queuecalc
