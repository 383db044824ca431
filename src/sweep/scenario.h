#pragma once
// One scenario of a sweep: checked as the calculator checks it, built once,
// its waiting-time distribution evaluated at the service-level thresholds
// only.

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "input/binomial_table.h"
#include "input/model_input.h"
#include "sweep/result_columns.h"

namespace queuecalc {
namespace sweep {

// Where the Euler inversion's row C(M, 0) .. C(M, M) comes from: the
// "BINOMDIST.DAT" beside the input when there is one (row M as the
// calculator reads it), else the exact row, computed once per M. Safe to use
// from many threads.
class BinomialRows {
public:
    BinomialRows() = default;  // no file: exact rows
    explicit BinomialRows(BinomialTable table) : table_(std::move(table)), fromFile_(true) {}

    // The reader's check of the table's dimension against M (RunFailure
    // with its message); nothing to check without a file.
    void checkDimension(int inversionTerms) const;

    // Row M >= 1 of a table that passed checkDimension, or the exact row;
    // RunFailure without a file for M beyond the last row of finite doubles.
    std::shared_ptr<const std::vector<double>> row(int inversionTerms);

private:
    BinomialTable table_;
    bool fromFile_ = false;
    std::mutex mutex_;
    std::map<int, std::shared_ptr<const std::vector<double>>> rows_;
};

// The algorithm for the thresholds: Euler unless the scenario is Talbot-only,
// or as --method says.
enum class MethodChoice { FromScenario, Euler, Talbot };

struct EvaluationSettings {
    std::vector<double> moments;  // the thresholds tau, each > 0
    MethodChoice method = MethodChoice::FromScenario;
};

// Validates the input with the calculator's checks (RunFailure with its
// message), builds the model and returns the values of resultColumnNames.
// withCurves = false leaves the threshold columns NaN and skips the inversion.
std::vector<double> evaluateScenario(const ModelInput& input, const EvaluationSettings& settings,
                                     BinomialRows& binomials, bool withCurves = true);

}  // namespace sweep
}  // namespace queuecalc
