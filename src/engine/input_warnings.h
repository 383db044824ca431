#pragma once
// Values of "INPUT.DAT" and "BINOMDIST.DAT" that the calculator accepts and
// computes with, but that a careful user would want pointed out: a value
// whose text ran on into the next one, no agents, a load that suggests mixed
// time units, an empty time grid, a grid that falls one moment short, a
// fractional Erlang phase count, switches outside their documented values, a
// binomial row that does not hold the binomial coefficients. Nothing here
// changes what is computed or written.
//
// Each warning is the text of one or two lines (separated by '\n', without
// the "Warning: " the program puts in front): what was found, with the value
// and its place in the file, then what to do.

#include <string>
#include <vector>

#include "input/binomial_table.h"
#include "input/model_input.h"

namespace queuecalc {

// One warning per value whose text ran on into the next value; these make
// sense also when the file is rejected later.
std::vector<std::string> runOnWarnings(const InputNotes& notes);

// The warnings about an input that the validation accepted, in the order of
// the values in the file. The binomial table is looked at only when the
// Euler algorithm runs.
std::vector<std::string> inputWarnings(const ModelInput& validatedInput, const BinomialTable& table);

// The largest offered load per agent, lambda / (s mu), that raises no
// warning: beyond it the rates are likely in different time units.
constexpr double kPlausibleLoad = 10;

}  // namespace queuecalc
