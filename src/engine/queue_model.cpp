#include "engine/queue_model.h"

#include <stdexcept>

#include "inversion/euler.h"
#include "inversion/talbot.h"

namespace queuecalc {

// The steps of the calculator's run, in its order: hazard rates, chain,
// position tables, measures, then the transform's view of the tables.
QueueModel buildQueueModel(const ModelInput& input) {
    QueueModel model;
    PositionRowBuffers rows;
    buildQueueModelInto(model, rows, input);
    return model;
}

void buildQueueModelInto(QueueModel& model, PositionRowBuffers& rows, const ModelInput& input) {
    model.input = input;
    buildHazardRatesInto(model.hazard, input.patience, input.abandonParam1, input.abandonParam2,
                         input.waitingPlaces, input.arrivalRate);
    solveChainInto(model.chain, input.servers, input.waitingPlaces, input.serviceRate, input.arrivalRate,
                   model.hazard.cumulativeAbandonRate);
    // Written in place only where no copy of the model still shares them.
    model.transform.tables.reset();
    if (!model.tables || model.tables.use_count() != 1) model.tables = std::make_shared<QueuePositionTables>();
    QueuePositionTables& tables = *model.tables;
    buildQueuePositionTablesInto(tables, rows, input.servers, input.waitingPlaces, input.serviceRate,
                                 model.hazard.hazardRate, model.hazard.cumulativeAbandonRate);
    model.measures = computePerformanceMeasures(input, model.chain.stationaryDist, model.chain.admittedDist,
                                                tables, rows);
    makeTransformModelInto(model.transform, input.servers, input.waitingPlaces, model.chain.admittedDist,
                           model.tables);
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
