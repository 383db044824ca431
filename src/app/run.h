#pragma once
// One run of the calculator: read "INPUT.DAT" and "BINOMDIST.DAT", validate,
// build the model, invert at the grid moments, report, pause.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "engine/queue_model.h"
#include "io/standard_error.h"
#include "input/binomial_table.h"
#include "input/model_input.h"

namespace queuecalc {

// Everything one run computes, owned by the run and released with it.
struct RunResults {
    QueueModel model;
    std::vector<double> timeGrid;  // t_j = j * momentInterval
    InversionResults curves;       // Euler and/or Talbot, as the input chose
};

// Validates the input (RunFailure with the first failed check's message),
// builds the model and inverts at the grid moments with the algorithms the
// input chose, Euler first: the calculator's run (analysis/evaluation.h,
// runModel) without its checks.
RunResults computeRun(const ModelInput& input, const BinomialTable& table,
                      TransformEngine engine = TransformEngine::Fast);

// The exit status of a run whose standard output failed before its end (a
// closed pipe): the results file is complete, the console output is not.
constexpr int kConsoleCutStatus = 3;

// The failure routine: "\n", the message, "\n", the prompt; flushes, reads one
// integer from `in` and discards it (not when `out` has failed: nobody sees
// the prompt then). Returns the exit status of a failed run.
int quitWithMessage(std::ostream& out, std::istream& in, const std::string& message);

// The whole pass in the folder `directory` (input files, results file),
// with the console on `in`/`out` and warnings and the progress line on
// `err` (none without it). Returns the exit status. Nothing written to `err`
// and nothing the checks behind the warnings do changes what goes to `out`,
// the results file or the exit status. When `out` fails (standard output
// closed) the run still writes the results file, then says so on `err` in
// one line and returns kConsoleCutStatus without waiting (a failed run: 1,
// its message on that line).
int runProgram(const std::string& directory, std::istream& in, std::ostream& out);
int runProgram(const std::string& directory, std::istream& in, std::ostream& out, ErrorStream& err);

}  // namespace queuecalc
