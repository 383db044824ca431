#include "engine/exact_waiting_time.h"

namespace queuecalc {

ExactWaitingModel exactWaitingModel(const QueueModel& model) {
    return makeExactWaitingModel(model.input.servers, model.input.waitingPlaces, model.input.serviceRate,
                                 model.hazard.cumulativeAbandonRate, model.chain.admittedDist,
                                 model.tables->reachServiceProb, model.measures.noWaitProb,
                                 model.measures.servedProb);
}

ExactWaitingCurves evaluateExactWaitingTime(const QueueModel& model, const std::vector<double>& moments,
                                            const ExactWaitingOptions& options) {
    return exactWaitingTime(exactWaitingModel(model), moments, options);
}

}  // namespace queuecalc
