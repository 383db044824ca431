#pragma once
// The grid of a sweep as its command line writes it: --set NAME=VALUE,
// --vary NAME=FROM:TO[:STEP] or NAME=V1,V2,..., and --shard I/N. Errors are
// UsageError, with the option named in the message.

#include <string>

#include "analysis/scenario_grid.h"
#include "input/model_fields.h"

namespace queuecalc {

// A value for a field from the command line: a whole number for whole-number
// fields (optional sign and digits, within the range of int), a number as
// "INPUT.DAT" would hold it for real fields.
double parseFieldValue(const ModelField& field, const std::string& text);

// "NAME=VALUE" of --set.
struct FieldSetting {
    const ModelField* field = nullptr;
    double value = 0;
};
FieldSetting parseSetting(const std::string& text);

// "NAME=FROM:TO[:STEP]" or "NAME=V1,V2,..." of --vary. Whole-number fields
// step by 1 unless told; real fields need a step or a list.
FieldValues parseFieldValues(const std::string& text);

// "I/N" of --shard.
Shard parseShard(const std::string& text);

}  // namespace queuecalc
