#pragma once
// The exact waiting-time distribution of a built queue model, with its
// certified error bound (inversion/exact_waiting.h gives the method, its
// domain and what the bound covers).
//
//   const QueueModel model = buildQueueModel(input);
//   const ExactWaitingCurves c = evaluateExactWaitingTime(model, {0.1, 0.2});
//   c.conditional[0] ... within c.conditionalBound[0] of P(W <= 0.1 | S)
//
// Reads only O(r) data of the model: s, mu, the cumulative abandonment rates,
// the admitted distribution, reachServiceProb and the two measures P(W = 0)
// and P(S). Threads: as evaluateWaitingTime (options.engine).

#include <vector>

#include "engine/queue_model.h"
#include "inversion/exact_waiting.h"

namespace queuecalc {

// The data of `model` the exact method reads (O(r) copies).
ExactWaitingModel exactWaitingModel(const QueueModel& model);

ExactWaitingCurves evaluateExactWaitingTime(const QueueModel& model, const std::vector<double>& moments,
                                            const ExactWaitingOptions& options = ExactWaitingOptions());

}  // namespace queuecalc
