#include "engine/queue_model.h"

#include <stdexcept>

#include "inversion/euler.h"
#include "inversion/talbot.h"

namespace queuecalc {

// The steps of the calculator's run, in its order: hazard rates, chain,
// position tables, measures, then the transform's view of the tables.
QueueModel buildQueueModel(const ModelInput& input) {
    QueueModel model;
    model.input = input;
    model.hazard = buildHazardRates(input.patience, input.abandonParam1, input.abandonParam2,
                                    input.waitingPlaces, input.arrivalRate);
    model.chain = solveChain(input.servers, input.waitingPlaces, input.serviceRate, input.arrivalRate,
                             model.hazard.cumulativeAbandonRate);
    model.tables = std::make_shared<const QueuePositionTables>(
        buildQueuePositionTables(input.servers, input.waitingPlaces, input.serviceRate,
                                 model.hazard.hazardRate, model.hazard.cumulativeAbandonRate));
    model.measures = computePerformanceMeasures(input, model.chain.stationaryDist,
                                                model.chain.admittedDist, *model.tables);
    model.transform =
        makeTransformModel(input.servers, input.waitingPlaces, model.chain.admittedDist, model.tables);
    return model;
}

WaitingTimeCurves evaluateWaitingTime(const QueueModel& model, InversionAlgorithm algorithm,
                                      int inversionTerms, const std::vector<double>& moments,
                                      const std::vector<double>& binomialRow,
                                      TransformEngine engine, const ProgressCallback& progress) {
    if (inversionTerms < 1) throw std::invalid_argument("evaluateWaitingTime: inversionTerms < 1");
    const double noWait = model.measures.noWaitProb;
    const double served = model.measures.servedProb;
    if (algorithm == InversionAlgorithm::Euler)
        return invertEuler(model.transform, buildEulerRule(inversionTerms, binomialRow), inversionTerms,
                           moments, noWait, served, engine, progress);
    return invertTalbot(model.transform, buildTalbotRule(inversionTerms), moments, noWait, served,
                        engine, progress);
}

}  // namespace queuecalc
