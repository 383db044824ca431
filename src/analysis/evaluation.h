#pragma once
// One checked evaluation of a call centre, for every program: validate,
// build, invert at the requested moments or thresholds, check; values come
// back with findings (analysis/findings.h), never with text.
//
// Two calls, one run order:
//  - runModel: what the calculator runs. (1) the binomial table's dimension
//    when Euler runs, (2) the input checks (RunFailure with the first failed
//    check's message), (3) the input findings, (4) the model, (5) the
//    inversions at the moments, Euler first, (6) the curve checks and the
//    checks of the measures. A RunObserver sees each stage as it passes.
//  - evaluateScenario: runModel at a scenario's service-level thresholds
//    with one method, plus the analyst measures and the sound abandonment
//    measures; what the sweep, the day plan and the Python module call.
//
//   BinomialRows rows;                       // exact coefficients (or a table read from a file)
//   EvaluationRequest request;
//   request.thresholds = {20, 30};           // tau of SL(tau) and P(W<=tau|S)
//   const Evaluation e = evaluateScenario(input, request, rows);   // throws RunFailure
//   e.thresholds[0].serviceLevel, e.analyst.asa, e.abandonment.abandonProb ...
//   if (anyFailsChecks(e.findings)) ...      // impossible or untrustworthy values
//
// Threads: any number of evaluations may run at once; BinomialRows is
// shared safely.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analysis/columns.h"
#include "analysis/findings.h"
#include "analysis/measures.h"
#include "engine/input_warnings.h"
#include "engine/queue_model.h"
#include "input/binomial_table.h"
#include "input/model_input.h"

namespace queuecalc {

// Where the Euler inversion's row C(M, 0) .. C(M, M) comes from: a
// "BINOMDIST.DAT" (row M as the calculator reads it), else the exact row,
// computed once per M. Safe to use from many threads.
class BinomialRows {
public:
    BinomialRows() = default;  // no file: exact rows
    explicit BinomialRows(BinomialTable table) : table_(std::move(table)), fromFile_(true) {}

    // The reader's check of the table's dimension against M (RunFailure
    // with its message, spelt as asked); nothing to check without a file.
    void checkDimension(int inversionTerms, Spelling spelling = Spelling::AsTheCalculatorHasIt) const;

    // Row M >= 1 of a table that passed checkDimension, or the exact row;
    // RunFailure without a file for M beyond the last row of finite doubles.
    std::shared_ptr<const std::vector<double>> row(int inversionTerms);

    // The warning about row M of a table read from a file that does not hold
    // C(M, k) (engine/input_warnings.h), found once per M; none without a
    // file. For an input that passed checkDimension.
    std::vector<InputWarning> rowWarnings(int inversionTerms);

private:
    BinomialTable table_;
    bool fromFile_ = false;
    std::mutex mutex_;
    std::map<int, std::shared_ptr<const std::vector<double>>> rows_;
    std::map<int, std::vector<InputWarning>> rowWarnings_;
};

// How the waiting-time distribution at the thresholds is computed. Decoded
// once, where a program reads its choice.
enum class WaitingMethod {
    Euler,   // inversion/euler.h
    Talbot,  // inversion/talbot.h
    Exact,   // inversion/exact_waiting.h: with a certified error bound
};

// Which model of the queue a scenario solves. Decoded once, where a program
// reads its choice.
enum class QueueModelChoice {
    // The queue itself, M/M/s/(s+r)+GI for any patience (model/exact_queue.h),
    // with a bound on each value's error: what the programs answer by default.
    Exact,
    // The calculator's birth-and-death chain (the k-th waiting caller
    // abandons at the patience hazard at k / lambda): exact for exponential
    // patience only; the calculator's own numbers, to the bit.
    Chain,
};

// The model a program's option names: "exact" or "chain"; none for any
// other text (the program words the error).
std::optional<QueueModelChoice> queueModelNamed(const std::string& name);
const char* queueModelName(QueueModelChoice model);

// The method a scenario runs when the program chose none: the exact method
// (value 13 only chooses among the calculator's own inversions).
WaitingMethod defaultMethod(const ModelInput& input);

// The method a program's option names: "exact", "euler" or "talbot"; none for
// any other text (the program words the error).
std::optional<WaitingMethod> waitingMethodNamed(const std::string& name);

// ---- The run order -------------------------------------------------------

struct ModelRun {
    QueueModel model;
    std::vector<double> moments;  // as requested
    InversionResults curves;      // one value per moment, of each algorithm that ran
    std::vector<Finding> findings;  // the input's, then the curves' and the measures'
};

// Which measures the checks look at: the calculator's fifteen as printed,
// or those of evaluateScenario (sound abandonment measures).
enum class MeasureView { Calculator, Sound };

struct RunRequest {
    // Each > 0 and finite; the checks for decrease read them in this order.
    // Null: the input's time grid, j * momentInterval (formed once the
    // input checks passed). Not owned: read during the run only.
    const std::vector<double>* moments = nullptr;
    bool euler = false;
    bool talbot = false;
    TransformEngine engine = TransformEngine::Fast;
    MeasureView view = MeasureView::Calculator;
    bool check = true;  // false: no curve and measure checks (timings, fuzzing)
};

// The request of the calculator's run of `input`: its time grid, its
// algorithms.
RunRequest calculatorRequest(const ModelInput& input);

// Sees the stages of a run; every member does nothing by default.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // After the input checks passed: the input findings.
    virtual void inputChecked(const std::vector<Finding>& findings) { (void)findings; }
    // Seconds between progress reports wanted; 0: none (the inversion runs
    // in one call).
    virtual double progressInterval() const { return 0; }
    virtual void buildingModel(int waitingPlaces) { (void)waitingPlaces; }
    virtual void inversionStarted(InversionAlgorithm algorithm, std::size_t moments) {
        (void)algorithm;
        (void)moments;
    }
    virtual void momentsDone(std::size_t done) { (void)done; }
    virtual void inversionsDone() {}
    // The model and the curves are there; the curve checks come next.
    virtual void computed(const ModelRun& run) { (void)run; }
};

// The run order above. Throws RunFailure (a failed check), std::bad_alloc.
ModelRun runModel(const ModelInput& input, BinomialRows& rows, const RunRequest& request,
                  RunObserver* observer = nullptr);
// The same into `run`, reusing the capacity of its model's vectors and of
// `positionRows`: the same values to the bit. On a throw `run` holds no
// usable result.
void runModelInto(ModelRun& run, PositionRowBuffers& positionRows, const ModelInput& input, BinomialRows& rows,
                  const RunRequest& request, RunObserver* observer = nullptr);

// ---- One scenario --------------------------------------------------------

struct EvaluationRequest {
    std::vector<double> thresholds;  // tau, each > 0 and finite, any order
    // The chain unless asked otherwise, so that a caller of the library gets
    // the calculator's numbers; the programs ask for the exact model.
    QueueModelChoice model = QueueModelChoice::Chain;
    // The chain's waiting-time method; none: defaultMethod(input). The
    // exact model has no method (every value comes with its bound).
    std::optional<WaitingMethod> method;
    bool withCurves = true;  // false: measures only, no inversion (the threshold values NaN)
    TransformEngine engine = TransformEngine::FastOneThread;  // callers run scenarios on threads of their own
};

// The values at one threshold.
struct ThresholdResult {
    double tau = 0;
    // SL(tau) and P(W <= tau | S), within [0, 1] (withinUnitInterval,
    // analysis/measures.h); otherwise the inversion's values to the bit.
    double serviceLevel = 0;
    double conditional = 0;
    // Exact method or exact model: bounds of the absolute error of
    // serviceLevel and of conditional; none for Euler and Talbot.
    std::optional<double> bound;
    std::optional<double> conditionalBound;
};

struct Evaluation {
    ModelInput input;
    QueueModelChoice model = QueueModelChoice::Chain;
    WaitingMethod method = WaitingMethod::Euler;  // the chain's; Exact for the exact model
    // The fifteen measures: the chain's as the calculator computes them, to
    // the bit but for a probability that rounding put beyond [0, 1]
    // (withProbabilitiesInRange, analysis/measures.h), or the exact model's.
    PerformanceMeasures measures;
    // The exact model: bounds of the absolute errors of the fifteen.
    std::optional<PerformanceMeasures> measureBounds;
    AbandonmentMeasures abandonment;
    AnalystMeasures analyst;
    std::vector<ThresholdResult> thresholds;  // in the order requested
    std::vector<Finding> findings;
};

// Throws RunFailure for a rejected scenario (the calculator's message and
// order of checks: the table's dimension first when Euler runs).
// Runs in the calling thread's own ScenarioWorkspace.
Evaluation evaluateScenario(const ModelInput& input, const EvaluationRequest& request, BinomialRows& rows);

// What evaluateScenario keeps from one scenario to the next so that a worker
// evaluating many does not allocate the model afresh each time; its vectors
// grow to the largest scenario seen. Scratch only: any scenario gives the
// same bits in a used workspace as in a new one. One per thread.
struct ScenarioWorkspace {
    ModelRun run;
    PositionRowBuffers positionRows;
    std::vector<double> moments;
};
Evaluation evaluateScenario(const ModelInput& input, const EvaluationRequest& request, BinomialRows& rows,
                            ScenarioWorkspace& workspace);

// The values of resultColumns(thresholds), NaN where a value is undefined
// (the moments given abandonment where P(A) = 0; the thresholds without
// curves).
std::vector<double> columnValues(const Evaluation& evaluation);
double columnValue(const Evaluation& evaluation, const Column& column);
// Whether the column has a value here at all: not the moments given
// abandonment where nobody abandons, nor the bound of a method that gives
// none (the sweep leaves these cells empty; a NaN value is another thing).
bool columnDefined(const Evaluation& evaluation, const Column& column);

}  // namespace queuecalc
