#pragma once
// Values of "INPUT.DAT" and "BINOMDIST.DAT" that the calculator accepts and
// computes with, but that a careful user would want pointed out: a value
// whose text ran on into the next one, no agents, a load that suggests mixed
// time units, an empty time grid, a grid that falls one moment short, a
// fractional Erlang phase count, switches outside their documented values, a
// binomial row that does not hold the binomial coefficients. Nothing here
// changes what is computed or written.
//
// Each warning says what was found, with the value and its place in the
// file; its words are made in the report layer (report/finding_text.h).

#include <optional>
#include <vector>

#include "input/binomial_table.h"
#include "input/model_input.h"

namespace queuecalc {

// What a warning is about.
enum class InputProblem {
    RunOnValue,       // a value's text ran on into the next value
    ConsoleSwitch,    // value 1 neither 0 nor 1
    ErlangPhases,     // value 4 of an Erlang patience not whole
    NoServers,        // value 6 is 0
    ImplausibleLoad,  // lambda / (s mu) above kPlausibleLoad: mixed time units?
    NoMoments,        // values 10 and 12 give no moment
    MomentLeftOut,    // the last moment lost to rounding
    AlgorithmSwitch,  // value 13 outside -1, 0, 1
    BinomialRow,      // row M of the binomial table is not C(M, k)
};

// One warning: what, where (the value's place in the input file, 1 .. 13;
// 0 for the binomial table), the number found, and what the words need
// besides.
struct InputWarning {
    InputProblem problem = InputProblem::RunOnValue;
    int position = 0;
    double value = 0;
    ModelInput input;                // as read (not for RunOnValue)
    std::optional<RunOnValue> runOn;  // RunOnValue
    double expected = 0;     // BinomialRow: C(M, k); MomentLeftOut: the moment left out
    int entry = 0;           // BinomialRow: k
    int tableDimension = 0;  // BinomialRow: the table's N
};

// One warning per value whose text ran on into the next value; these make
// sense also when the file is rejected later.
std::vector<InputWarning> checkRunOns(const InputNotes& notes);

// The warnings about an input that the validation accepted, in the order of
// the values in the file. The binomial table is looked at only when the
// Euler algorithm runs.
std::vector<InputWarning> checkInputValues(const ModelInput& validatedInput, const BinomialTable& table);
// The same in two parts: the values of "INPUT.DAT", and row M of the
// binomial table (a program that checks many inputs against one table
// checks the row once per M).
std::vector<InputWarning> checkInputValues(const ModelInput& validatedInput);
std::vector<InputWarning> checkBinomialRowValues(const ModelInput& validatedInput, const BinomialTable& table);

// The largest offered load per agent, lambda / (s mu), that raises no
// warning: beyond it the rates are likely in different time units.
constexpr double kPlausibleLoad = 10;

}  // namespace queuecalc
