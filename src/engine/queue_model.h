#pragma once
// The queue calculator as a library: build the model of one call centre once,
// then evaluate its waiting-time distribution at any moments with either
// inversion algorithm. This header is what a second program includes; the
// calculator's own run (app/run.h) is these calls plus reading and reporting.
//
//   ModelInput input = ...;                 // read (input/model_input.h) or filled in
//   validateModelInput(input);              // input/input_checks.h; throws RunFailure
//   const QueueModel model = buildQueueModel(input);
//   model.measures.servedProb ...           // the fifteen measures
//   const WaitingTimeCurves c = evaluateWaitingTime(model, InversionAlgorithm::Euler,
//                                                   32, {20.0}, binomialRow(...));
//
// Every number equals, to the last bit, what the calculator computes for the
// same input: the model is built by the same steps, and the value at a moment
// t depends on t alone (not on the other moments of the list), so a moment
// equal to the calculator's grid moment j * momentInterval gives the
// calculator's curve value there.
//
// Threads: a QueueModel is immutable once built; any number of threads may
// evaluate one model at once. TransformEngine::Fast may start threads of its
// own for large models; a program that runs many models side by side passes
// TransformEngine::FastOneThread.

#include <memory>
#include <vector>

#include "core/choices.h"
#include "input/input_checks.h"
#include "input/model_input.h"
#include "input/time_grid.h"
#include "inversion/inversion.h"
#include "inversion/transform.h"
#include "model/chain.h"
#include "model/hazard_rates.h"
#include "model/performance.h"
#include "model/queue_positions.h"

namespace queuecalc {

// Everything the model of one call centre holds; owns all its data.
struct QueueModel {
    ModelInput input;  // as validated
    HazardRates hazard;
    ChainSolution chain;
    std::shared_ptr<QueuePositionTables> tables;
    PerformanceMeasures measures;
    TransformModel transform;  // shares `tables`
};

// Builds hazard rates, chain, queue-position tables, the fifteen measures and
// the transform model from an input that validateModelInput accepted.
// Time grows as r^2 / 2 (the queue-position cells, formed twice), memory as
// s + r.
// Preconditions (asserted in debug builds): the input is validated. May throw
// std::bad_alloc.
QueueModel buildQueueModel(const ModelInput& validatedInput);

// The same into `model`, reusing the capacity of its vectors and of `rows`
// (a worker that builds many models keeps one of each): the same steps, the
// same values to the bit. The tables are rebuilt in place when `model` alone
// holds them, else afresh (a copy of the model or its transform shared them).
void buildQueueModelInto(QueueModel& model, PositionRowBuffers& rows, const ModelInput& validatedInput);

// WaitingTimeCurves (joint, conditional, termMagnitude), InversionResults and
// ProgressCallback: see inversion/inversion.h.

// The waiting-time distribution of served callers at `moments` (each > 0 and
// finite), by the Euler algorithm (binomialRow = row M of the binomial table,
// C(M, 0) .. C(M, M), at least M entries; only entries 1 .. M-1 are read) or
// the fixed Talbot algorithm (binomialRow unused, may be empty), with
// inversionTerms = M >= 1 terms. Throws std::invalid_argument when the row is
// too short for Euler. Accuracy: see inversion/euler.h and inversion/talbot.h.
WaitingTimeCurves evaluateWaitingTime(const QueueModel& model, InversionAlgorithm algorithm,
                                      int inversionTerms, const std::vector<double>& moments,
                                      const std::vector<double>& binomialRow,
                                      TransformEngine engine = TransformEngine::Fast,
                                      const ProgressCallback& progress = ProgressCallback());

}  // namespace queuecalc
