#include "input/model_fields.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/failure.h"
#include "core/number_text.h"
#include "input/input_checks.h"

namespace queuecalc {

namespace {

ModelField whole(int ModelInput::*member, const char* name, const char* words, FieldLeast least = FieldLeast::Any,
                 int most = 0, const char* mostWords = nullptr) {
    return {name, FieldType::Whole, 0, words, member, nullptr, least, most, mostWords};
}

ModelField real(double ModelInput::*member, const char* name, const char* words,
                FieldLeast least = FieldLeast::Any) {
    return {name, FieldType::Real, 0, words, nullptr, member, least, 0, nullptr};
}

std::vector<ModelField> numbered(std::vector<ModelField> fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i].position = static_cast<int>(i) + 1;
    return fields;
}

}  // namespace

// In the order of "INPUT.DAT". The limit of the servers is that of servers and
// waiting places together, which the chain's check applies to their sum.
const std::vector<ModelField>& modelFields() {
    using M = ModelInput;
    using L = FieldLeast;
    static const std::vector<ModelField> fields = numbered({
        whole(&M::consoleReport, "consoleReport", "console report switch"),
        whole(&M::abandonType, "abandonType", "abandonment time distribution"),
        real(&M::abandonParam1, "abandonParam1", "1st parameter of the abandonment time distribution"),
        real(&M::abandonParam2, "abandonParam2", "2nd parameter of the abandonment time distribution"),
        real(&M::abandonParam3, "abandonParam3", "3rd parameter of the abandonment time distribution"),
        whole(&M::servers, "servers", "number of servers", L::Zero, kMaxSystemSize,
              "agents and waiting places together"),
        whole(&M::waitingPlaces, "waitingPlaces", "number of extra waiting spaces", L::Zero, kMaxWaitingPlaces,
              "waiting places"),
        real(&M::serviceRate, "serviceRate", "individual service rate", L::AboveZero),
        real(&M::arrivalRate, "arrivalRate", "arrival rate", L::AboveZero),
        real(&M::momentInterval, "momentInterval", "time in between measurement moments", L::AboveZero),
        whole(&M::inversionTerms, "inversionTerms", "number of terms to sum for each measurement moment", L::One,
              kMaxInversionTerms, "terms"),
        real(&M::maxTime, "maxTime", "maximum time instance", L::Zero),
        whole(&M::inversionMethod, "inversionMethod", "inverse Laplace transform algorithm"),
    });
    return fields;
}

const ModelField& modelFieldAt(int position) {
    return modelFields()[static_cast<std::size_t>(position - 1)];
}

const ModelField& modelField(int ModelInput::*member) {
    for (const ModelField& field : modelFields())
        if (field.whole == member) return field;
    throw std::logic_error("modelField: not a field of INPUT.DAT");
}

const ModelField& modelField(double ModelInput::*member) {
    for (const ModelField& field : modelFields())
        if (field.real == member) return field;
    throw std::logic_error("modelField: not a field of INPUT.DAT");
}

const ModelField* findModelField(const std::string& name) {
    for (const ModelField& field : modelFields())
        if (name == field.name) return &field;
    return nullptr;
}

double modelFieldValue(const ModelInput& input, const ModelField& field) {
    if (field.type == FieldType::Whole) return input.*field.whole;
    return input.*field.real;
}

std::string capitalisedWords(const ModelField& field) {
    std::string words = field.words;
    words[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words[0])));
    return words;
}

std::string wordsWithValue(const ModelField& field, double value) {
    const std::string text =
        field.type == FieldType::Whole ? std::to_string(static_cast<int>(value)) : formatValue(value);
    return capitalisedWords(field) + " (" + text + ")";
}

std::string wholeFieldLimit(const ModelField& field) {
    if (field.most > 0) return "at most " + std::to_string(field.most) + " " + field.mostWords;
    return "from " + std::to_string(std::numeric_limits<int>::lowest()) + " to " +
           std::to_string(std::numeric_limits<int>::max());
}

void setModelField(ModelInput& input, const ModelField& field, double value) {
    if (field.type == FieldType::Real) {
        input.*field.real = value;
        return;
    }
    if (std::floor(value) != value)  // also NaN
        throw UsageError(std::string(field.name) + " takes whole numbers only, not " + formatValue(value));
    if (!(value >= std::numeric_limits<int>::lowest() && value <= std::numeric_limits<int>::max()))
        throw UsageError(std::string(field.name) + " = " + formatValue(value) +
                     " is beyond what the model takes: " + wholeFieldLimit(field));
    const int whole = static_cast<int>(value);
    // The two choices are set with their decoded enums.
    if (field.whole == &ModelInput::abandonType) {
        input.setAbandonType(whole);
    } else if (field.whole == &ModelInput::inversionMethod) {
        input.setInversionMethod(whole);
    } else {
        input.*field.whole = whole;
    }
}

}  // namespace queuecalc
