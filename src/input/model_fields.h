#pragma once
// The thirteen fields of "INPUT.DAT": the one table of what each is called,
// where it lives in ModelInput, its place in the file, the words messages use
// for it and the plain range it must lie in. Reading, echoing, setting by
// name and the checks' messages all take them from here.

#include <string>
#include <vector>

#include "input/model_input.h"

namespace queuecalc {

enum class FieldType {
    Whole,  // an int field
    Real,   // a double field
};

// The smallest value a field takes, where that is a plain bound; each has its
// message ("must be greater than 0", ...). A real field with a bound must
// also be finite.
enum class FieldLeast {
    Any,        // no bound of its own (or one its own check judges)
    AboveZero,  // > 0
    Zero,       // >= 0
    One,        // >= 1
};

struct ModelField {
    const char* name;   // "servers", "arrivalRate", ...: the name --set and the packages use
    FieldType type;
    int position;       // 1 .. 13, its place in "INPUT.DAT": its place in modelFields()
    const char* words;  // what the messages call it: "number of servers", ...
    int ModelInput::*whole;    // the member of a whole-number field, else null
    double ModelInput::*real;  // the member of a real field, else null
    FieldLeast least;
    // A whole-number field's largest value the program holds, and what the
    // limit counts ("waiting places"); 0 and null: the range of int.
    int most;
    const char* mostWords;
};

// The thirteen fields in the order of "INPUT.DAT".
const std::vector<ModelField>& modelFields();

// The field at `position`, 1 .. 13.
const ModelField& modelFieldAt(int position);

// The field of a member of ModelInput.
const ModelField& modelField(int ModelInput::*member);
const ModelField& modelField(double ModelInput::*member);

// Whether the value at `position` is read as a whole number.
inline bool isWholeNumberField(int position) { return modelFieldAt(position).type == FieldType::Whole; }

// The field of that name, or nullptr.
const ModelField* findModelField(const std::string& name);

// The field's value; a whole number is exact in a double.
double modelFieldValue(const ModelInput& input, const ModelField& field);

// How a message begins with the field: "Number of servers", and with a value
// of it, "Number of servers (12)" (a real value in its shortest form).
std::string capitalisedWords(const ModelField& field);
std::string wordsWithValue(const ModelField& field, double value);

// Sets the field, and for abandonType and inversionMethod their decoded
// choice with it. A whole-number field takes only whole values within the
// range of int; anything else throws UsageError, which names the
// field and, for a value beyond that range, the limit.
void setModelField(ModelInput& input, const ModelField& field, double value);

// What a whole-number field takes at most, for the message of a value beyond
// the range of int: the model's own limit where it has one ("at most 13376
// waiting places"), else the range of int.
std::string wholeFieldLimit(const ModelField& field);

}  // namespace queuecalc
