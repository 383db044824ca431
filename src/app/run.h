#pragma once
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "input/binomial_table.h"
#include "input/model_input.h"
#include "inversion/euler.h"
#include "inversion/talbot.h"
#include "inversion/transform.h"
#include "model/chain.h"
#include "model/hazard_rates.h"
#include "model/performance.h"
#include "model/queue_positions.h"
#include "report/results_file.h"

namespace queuecalc {

// Everything one run computes, owned by the run and released with it.
struct RunResults {
    int momentCount = 0;
    HazardRates hazard;
    ChainSolution chain;
    QueuePositionTables tables;
    PerformanceMeasures measures;
    std::vector<double> timeGrid;
    std::unique_ptr<EulerCurves> euler;    // only when inversionMethod <= 0
    std::unique_ptr<TalbotCurves> talbot;  // only when inversionMethod >= 0
};

// The model and both inversions. Each value without a meaning is rejected
// (RunFailure) right before the first step that would use it; see
// input/input_checks.h.
RunResults computeRun(const ModelInput& input, const BinomialTable& table,
                      TransformEngine engine = TransformEngine::Fast);

// The curves of the algorithms that ran, as the reports take them.
ResultCurves resultCurves(const RunResults& run);

// The failure routine: "\n", the message, "\n", the prompt; flushes, reads one
// integer from `in` and discards it. Returns the exit status of a failed run.
int quitWithMessage(std::ostream& out, std::istream& in, const std::string& message);

// The whole pass in the folder `directory` (input files, results file),
// with the console on `in`/`out`. Returns the exit status.
int runProgram(const std::string& directory, std::istream& in, std::ostream& out);

}  // namespace queuecalc
