#pragma once
// The thirteen fields of "INPUT.DAT" by name, for programs that set or vary
// them one by one (the names are those of ModelInput).

#include <string>
#include <vector>

#include "input/model_input.h"

namespace queuecalc {

enum class FieldType {
    Whole,  // an int field
    Real,   // a double field
};

struct ModelField {
    const char* name;  // "servers", "arrivalRate", ...
    FieldType type;
    int position;      // 1 .. 13, its place in "INPUT.DAT"
    const char* words; // what the messages call it: "number of servers", ...
};

// The thirteen fields in the order of "INPUT.DAT".
const std::vector<ModelField>& modelFields();

// The field at `position`, 1 .. 13.
const ModelField& modelFieldAt(int position);

// Whether the value at `position` is read as a whole number.
inline bool isWholeNumberField(int position) { return modelFieldAt(position).type == FieldType::Whole; }

// The field of that name, or nullptr.
const ModelField* findModelField(const std::string& name);

// The field's value; a whole number is exact in a double.
double modelFieldValue(const ModelInput& input, const ModelField& field);

// Sets the field, and for abandonType and inversionMethod their decoded
// choice with it. A whole-number field takes only whole values within the
// range of int; anything else throws std::invalid_argument, which names the
// field and, for a value beyond that range, the limit.
void setModelField(ModelInput& input, const ModelField& field, double value);

// What a whole-number field takes at most, for the message of a value beyond
// the range of int: the model's own limit where it has one ("at most 13376
// waiting places"), else the range of int.
std::string wholeFieldLimit(const ModelField& field);

}  // namespace queuecalc
