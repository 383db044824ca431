#include "engine/exact_waiting_time.h"

namespace queuecalc {

ExactWaitingModel exactWaitingModel(const QueueModel& model) {
    // w_k = reachServiceProb[k] * admittedDist[s + k - 1]: the transform's weights.
    const int r = model.input.waitingPlaces;
    ExactWaitingModel m;
    m.servers = model.input.servers;
    m.waitingPlaces = r;
    m.serviceRate = model.input.serviceRate;
    m.cumulativeAbandonRate.assign(model.hazard.cumulativeAbandonRate.begin(),
                                   model.hazard.cumulativeAbandonRate.begin() + r + 1);
    m.positionWeight = model.transform.positionWeight;
    m.noWaitProb = model.measures.noWaitProb;
    m.servedProb = model.measures.servedProb;
    return m;
}

ExactWaitingCurves evaluateExactWaitingTime(const QueueModel& model, const std::vector<double>& moments,
                                            const ExactWaitingOptions& options) {
    return exactWaitingTime(exactWaitingModel(model), moments, options);
}

}  // namespace queuecalc
