#include "sweep/scenario.h"

#include <string>

#include "core/failure.h"
#include "engine/queue_model.h"
#include "input/binomial_row.h"
#include "input/input_checks.h"

namespace queuecalc {
namespace sweep {

void BinomialRows::checkDimension(int inversionTerms) const {
    if (fromFile_) checkBinomialDimension(table_.dimension, inversionTerms, Spelling::Corrected);
}

std::shared_ptr<const std::vector<double>> BinomialRows::row(int inversionTerms) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto known = rows_.find(inversionTerms);
    if (known != rows_.end()) return known->second;
    if (!fromFile_ && inversionTerms > kLastFiniteBinomialRow) {
        throw RunFailure("The binomial coefficients of " + std::to_string(inversionTerms) +
                         " terms exceed the largest number this program can hold (at most " +
                         std::to_string(kLastFiniteBinomialRow) +
                         " terms with the Euler inversion). Please decrease number of terms to sum for each measurement moment.");
    }
    auto row = std::make_shared<const std::vector<double>>(
        fromFile_ ? table_.rows[static_cast<std::size_t>(inversionTerms)] : exactBinomialRow(inversionTerms));
    rows_.emplace(inversionTerms, row);
    return row;
}

std::vector<double> evaluateScenario(const ModelInput& input, const EvaluationSettings& settings,
                                     BinomialRows& binomials, bool withCurves) {
    const bool curves = withCurves && !settings.moments.empty();
    const InversionAlgorithm algorithm =
        settings.method == MethodChoice::Euler    ? InversionAlgorithm::Euler
        : settings.method == MethodChoice::Talbot ? InversionAlgorithm::Talbot
        : input.inversion == InversionChoice::Talbot ? InversionAlgorithm::Talbot
                                                     : InversionAlgorithm::Euler;
    const bool euler = curves && algorithm == InversionAlgorithm::Euler;
    // The calculator checks the binomial table before every other value.
    if (euler) binomials.checkDimension(input.inversionTerms);
    validateModelInput(input);
    std::shared_ptr<const std::vector<double>> row;
    if (euler) row = binomials.row(input.inversionTerms);
    const QueueModel model = buildQueueModel(input);
    if (!curves) return resultValues(model, nullptr, settings.moments.size());
    static const std::vector<double> kNoRow;
    const WaitingTimeCurves waiting =
        evaluateWaitingTime(model, algorithm, input.inversionTerms, settings.moments, row ? *row : kNoRow,
                            TransformEngine::FastOneThread);
    return resultValues(model, &waiting, settings.moments.size());
}

}  // namespace sweep
}  // namespace queuecalc
