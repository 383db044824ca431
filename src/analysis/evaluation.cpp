#include "analysis/evaluation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/failure.h"
#include "engine/diagnostics.h"
#include "engine/exact_waiting_time.h"
#include "engine/input_warnings.h"
#include "input/binomial_row.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "input/time_grid.h"
#include "inversion/cost_model.h"
#include "model/exact_queue.h"

namespace queuecalc {

void BinomialRows::checkDimension(int inversionTerms, Spelling spelling) const {
    if (fromFile_) checkBinomialDimension(table_.dimension, inversionTerms, spelling);
}

std::shared_ptr<const std::vector<double>> BinomialRows::row(int inversionTerms) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto known = rows_.find(inversionTerms);
    if (known != rows_.end()) return known->second;
    if (!fromFile_ && inversionTerms > kLastFiniteBinomialRow) {
        throw RunFailure("The binomial coefficients of " + std::to_string(inversionTerms) +
                         " terms exceed the largest number this program can hold (at most " +
                         std::to_string(kLastFiniteBinomialRow) +
                         " terms with the Euler inversion). Please decrease " +
                         modelField(&ModelInput::inversionTerms).words + ".");
    }
    auto row = std::make_shared<const std::vector<double>>(
        fromFile_ ? table_.rows[static_cast<std::size_t>(inversionTerms)] : exactBinomialRow(inversionTerms));
    rows_.emplace(inversionTerms, row);
    return row;
}

std::vector<InputWarning> BinomialRows::rowWarnings(int inversionTerms) {
    if (!fromFile_) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    const auto known = rowWarnings_.find(inversionTerms);
    if (known != rowWarnings_.end()) return known->second;
    ModelInput euler;
    euler.inversionTerms = inversionTerms;
    euler.setInversionMethod(-1);
    return rowWarnings_.emplace(inversionTerms, checkBinomialRowValues(euler, table_)).first->second;
}

std::optional<QueueModelChoice> queueModelNamed(const std::string& name) {
    if (name == "exact") return QueueModelChoice::Exact;
    if (name == "chain") return QueueModelChoice::Chain;
    return std::nullopt;
}

const char* queueModelName(QueueModelChoice model) { return model == QueueModelChoice::Exact ? "exact" : "chain"; }

WaitingMethod defaultMethod(const ModelInput&) { return WaitingMethod::Exact; }

std::optional<WaitingMethod> waitingMethodNamed(const std::string& name) {
    if (name == "exact") return WaitingMethod::Exact;
    if (name == "euler") return WaitingMethod::Euler;
    if (name == "talbot") return WaitingMethod::Talbot;
    return std::nullopt;
}

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The curves of one algorithm at the moments. When progress is wanted the
// moments go to the engine in chunks of about one progress interval each
// (by the cost model); a value depends on its moment alone
// (engine/queue_model.h), so the chunks give the same bits as one call.
WaitingTimeCurves invertAt(const QueueModel& model, InversionAlgorithm algorithm, const std::vector<double>& moments,
                           const std::vector<double>& row, TransformEngine engine, RunObserver* observer) {
    const int M = model.input.inversionTerms;
    const double interval = observer ? observer->progressInterval() : 0;
    if (!(interval > 0)) return evaluateWaitingTime(model, algorithm, M, moments, row, engine);
    const double perMoment = expectedInversionSeconds(model.input.waitingPlaces, nodesPerMoment(algorithm, M), 1);
    const std::size_t chunk = std::max<std::size_t>(
        1, std::min<double>(static_cast<double>(kMomentsPerBatch), interval / perMoment));
    observer->inversionStarted(algorithm, moments.size());
    // Reserved in full, so that the chunks need no more memory than one call.
    WaitingTimeCurves all;
    all.joint.reserve(moments.size());
    all.conditional.reserve(moments.size());
    all.termMagnitude.reserve(moments.size());
    for (std::size_t first = 0; first < moments.size(); first += chunk) {
        const std::size_t last = std::min(moments.size(), first + chunk);
        const std::vector<double> part(moments.begin() + static_cast<std::ptrdiff_t>(first),
                                       moments.begin() + static_cast<std::ptrdiff_t>(last));
        const WaitingTimeCurves c = evaluateWaitingTime(model, algorithm, M, part, row, engine);
        all.joint.insert(all.joint.end(), c.joint.begin(), c.joint.end());
        all.conditional.insert(all.conditional.end(), c.conditional.begin(), c.conditional.end());
        all.termMagnitude.insert(all.termMagnitude.end(), c.termMagnitude.begin(), c.termMagnitude.end());
        observer->momentsDone(last);
    }
    return all;
}

// One finding for the measures that are not numbers: the first of them, and
// how many there are in all (`reference`).
void addNotFinite(std::vector<Finding>& findings, const std::vector<std::pair<Measure, double>>& shown) {
    Finding f;
    f.kind = FindingKind::MeasureNotFinite;
    f.severity = Severity::Impossible;
    int count = 0;
    for (const auto& m : shown) {
        if (std::isfinite(m.second)) continue;
        if (count++ == 0) {
            f.measure = m.first;
            f.value = m.second;
        }
    }
    if (count == 0) return;
    f.reference = count;
    findings.push_back(f);
}

std::vector<Finding> checkSoundMeasures(const Evaluation& e) {
    std::vector<Finding> findings;
    if (!e.abandonment.defined) {
        Finding f;
        f.kind = FindingKind::NoAbandonment;
        f.severity = Severity::Note;
        f.measure = Measure::MeanWaitAbandon;
        f.value = e.abandonment.abandonProb;
        findings.push_back(f);
    }
    std::vector<std::pair<Measure, double>> shown;
    static const std::vector<Column> columns = resultColumns({});
    shown.reserve(columns.size());
    for (const Column& c : columns) {
        if (columnDefined(e, c)) shown.emplace_back(c.measure, columnValue(e, c));
    }
    addNotFinite(findings, shown);
    return findings;
}

// The findings about the measures (MeasureView::Calculator): P(A) at
// rounding level or negative, measures that are not finite.
std::vector<Finding> checkCalculatorMeasures(const QueueModel& model) {
    const PerformanceMeasures& m = model.measures;
    std::vector<Finding> findings;
    const bool rounding = !(std::fabs(m.abandonProb) >= kAbandonmentResolution) || m.abandonProb < 0;
    if (rounding && std::isfinite(m.abandonProb)) {
        Finding f;
        f.kind = FindingKind::AbandonmentAtRounding;
        f.severity = m.abandonProb < 0 ? Severity::Impossible : Severity::Doubtful;
        f.measure = Measure::AbandonProb;
        f.value = m.abandonProb;
        f.reference = kAbandonmentResolution;
        findings.push_back(f);
    }
    // Without agents the measures of served callers are 0 / 0: the input
    // warning says so.
    const bool noAgents = model.input.servers == 0;
    std::vector<std::pair<Measure, double>> shown;
    for (std::size_t i = 0; i < kCalculatorMeasureCount; ++i) {
        const Measure measure = fixedMeasure(i);
        if (rounding && givenAbandonment(measure)) continue;
        if (noAgents && (measure == Measure::Rho || measure == Measure::MeanWaitServed ||
                         measure == Measure::SecondMomentServed || measure == Measure::VarianceServed))
            continue;
        shown.emplace_back(measure, calculatorValue(m, measure));
    }
    addNotFinite(findings, shown);
    return findings;
}

// The exact values at the moments of the curve findings, evaluated there
// alone (a few moments: a small share of the run), held beside each.
void refereeCurveFindings(ModelRun& run, TransformEngine engine) {
    std::vector<double> flagged;
    for (const Finding& f : run.findings)
        if (f.curve && std::find(flagged.begin(), flagged.end(), f.moment) == flagged.end())
            flagged.push_back(f.moment);
    if (flagged.empty()) return;
    ExactWaitingOptions options;
    options.engine = engine;
    const ExactWaitingCurves exact = evaluateExactWaitingTime(run.model, flagged, options);
    if (!exact.applicable) return;
    for (Finding& f : run.findings) {
        if (!f.curve) continue;
        const std::size_t i =
            static_cast<std::size_t>(std::find(flagged.begin(), flagged.end(), f.moment) - flagged.begin());
        const std::size_t at =
            static_cast<std::size_t>(std::find(run.moments.begin(), run.moments.end(), f.moment) - run.moments.begin());
        ExactReferee referee;
        referee.joint = exact.joint[i];
        referee.conditional = exact.conditional[i];
        referee.jointBound = exact.jointBound[i];
        referee.conditionalBound = exact.conditionalBound[i];
        if (at < run.moments.size()) {
            if (run.curves.euler) {
                referee.eulerJoint = run.curves.euler->joint[at];
                referee.eulerConditional = run.curves.euler->conditional[at];
            }
            if (run.curves.talbot) {
                referee.talbotJoint = run.curves.talbot->joint[at];
                referee.talbotConditional = run.curves.talbot->conditional[at];
            }
        }
        f.exact = referee;
    }
}

}  // namespace

RunRequest calculatorRequest(const ModelInput& input) {
    RunRequest request;
    request.euler = runsEuler(input.inversion);
    request.talbot = runsTalbot(input.inversion);
    return request;
}

ModelRun runModel(const ModelInput& input, BinomialRows& rows, const RunRequest& request, RunObserver* observer) {
    ModelRun run;
    PositionRowBuffers positionRows;
    runModelInto(run, positionRows, input, rows, request, observer);
    return run;
}

void runModelInto(ModelRun& run, PositionRowBuffers& positionRows, const ModelInput& input, BinomialRows& rows,
                  const RunRequest& request, RunObserver* observer) {
    if (request.euler)
        rows.checkDimension(input.inversionTerms, request.view == MeasureView::Calculator
                                                      ? Spelling::AsTheCalculatorHasIt
                                                      : Spelling::Corrected);
    validateModelInput(input);
    run.findings.clear();
    run.curves = InversionResults();
    for (const InputWarning& w : checkInputValues(input)) run.findings.push_back(fromInputWarning(w));
    if (request.euler && runsEuler(input.inversion))
        for (const InputWarning& w : rows.rowWarnings(input.inversionTerms)) run.findings.push_back(fromInputWarning(w));
    if (observer) observer->inputChecked(run.findings);

    std::shared_ptr<const std::vector<double>> row;
    if (request.euler) row = rows.row(input.inversionTerms);
    if (observer && observer->progressInterval() > 0) observer->buildingModel(input.waitingPlaces);
    buildQueueModelInto(run.model, positionRows, input);
    if (request.moments)
        run.moments.assign(request.moments->begin(), request.moments->end());
    else
        run.moments = buildTimeGrid(computeMomentCount(input.maxTime, input.momentInterval), input.momentInterval);
    if (request.euler)
        run.curves.euler = invertAt(run.model, InversionAlgorithm::Euler, run.moments, *row, request.engine, observer);
    if (request.talbot)
        run.curves.talbot =
            invertAt(run.model, InversionAlgorithm::Talbot, run.moments, std::vector<double>(), request.engine, observer);
    if (observer) {
        observer->inversionsDone();
        observer->computed(run);
    }
    if (!request.check) return;
    // Curves formed from measures that are not numbers say nothing of their
    // own: the measures' finding explains them.
    const PerformanceMeasures& m = run.model.measures;
    if (std::isfinite(m.servedProb) && std::isfinite(m.noWaitProb)) {
        const std::vector<CurveFinding> curves =
            checkWaitingTimeCurves(run.model, input.inversionTerms, run.moments, run.curves, request.engine);
        for (const CurveFinding& c : curves) {
            // A value that is not a number is said once, not again as a doubtful estimate.
            const bool notANumberAgain =
                (c.problem == CurveProblem::ErrorEstimate || c.problem == CurveProblem::SpotCheck) &&
                !(std::isfinite(c.joint) && std::isfinite(c.conditional)) &&
                std::any_of(curves.begin(), curves.end(), [&](const CurveFinding& d) {
                    return d.problem == CurveProblem::NotFinite && d.algorithm == c.algorithm;
                });
            if (!notANumberAgain) run.findings.push_back(fromCurveFinding(c));
        }
        refereeCurveFindings(run, request.engine);
    }
    if (request.view == MeasureView::Calculator)
        for (const Finding& f : checkCalculatorMeasures(run.model)) run.findings.push_back(f);
}

Evaluation evaluateScenario(const ModelInput& input, const EvaluationRequest& request, BinomialRows& rows) {
    // Each thread keeps the room of its largest model so far (O(s + r)).
    thread_local ScenarioWorkspace workspace;
    return evaluateScenario(input, request, rows, workspace);
}

namespace {

// The exact model's evaluation: the input checks and findings as for the
// chain, then the queue solved at the thresholds.
Evaluation evaluateExact(const ModelInput& input, const EvaluationRequest& request) {
    validateModelInput(input);
    Evaluation e;
    e.input = input;
    e.model = QueueModelChoice::Exact;
    e.method = WaitingMethod::Exact;
    for (const InputWarning& w : checkInputValues(input)) e.findings.push_back(fromInputWarning(w));
    const std::vector<double> moments = request.withCurves ? request.thresholds : std::vector<double>();
    const ExactQueueResult solved = solveExactQueue(input, moments);
    const PerformanceMeasures& m = solved.measures;  // probabilities within [0, 1] as formed
    e.measures = m;
    e.measureBounds = solved.bounds;
    e.abandonment.abandonProb = m.abandonProb;
    e.abandonment.defined = m.abandonProb > 0;
    e.abandonment.meanWait = m.meanWaitAbandon;
    e.abandonment.secondMoment = m.secondMomentAbandon;
    e.abandonment.variance = m.varianceAbandon;
    e.analyst = analystMeasures(input, e.measures, e.abandonment);
    const PerformanceMeasures& b = solved.bounds;
    for (std::size_t i = 0; i < request.thresholds.size(); ++i) {
        ThresholdResult t;
        t.tau = request.thresholds[i];
        if (!request.withCurves) {
            t.serviceLevel = kNaN;
            t.conditional = kNaN;
            e.thresholds.push_back(t);
            continue;
        }
        // SL = (1 - L)(P(NoWait) + J): the errors of all three count.
        const double served = m.noWaitProb + solved.joint[i];
        const double level = (1 - m.lossProb) * served;
        t.serviceLevel = withinUnitInterval(level);
        t.conditional = solved.conditional[i];
        t.bound = b.lossProb * served + (1 - m.lossProb) * (b.noWaitProb + solved.jointBound[i]) +
                  4 * std::numeric_limits<double>::epsilon() * level;
        t.conditionalBound = solved.conditionalBound[i];
        e.thresholds.push_back(t);
    }
    for (const Finding& f : checkSoundMeasures(e)) e.findings.push_back(f);
    return e;
}

// Exponential patience: the chain is the queue itself (every waiting caller
// abandons at the constant hazard theta, so k of them at k theta), and its
// solution with the certified waiting-time method is the exact model's
// answer, as the quadrature's would be (tests/model hold the two to each
// other). It is taken where it is the cheaper: its queue-position cells grow
// as r^2 (about 3 ns each), the quadrature's cost does not (30 to 60 us in
// double), so up to kChainRoomForExponential places (measured in
// bench/exact_queue_bench.cpp: the typical example 3.5 us against 30 us,
// examples/large with 1,000 places 2.7 ms against 1.0 ms). Its measures come from products and sums of positive terms
// over the s + r states, each term to a few ulp per state it passes: the
// bound of each is kChainRoundingUlps (s + r + 1) ulp of its value.
constexpr double kChainRoundingUlps = 8;
constexpr int kChainRoomForExponential = 128;

void asExactModel(Evaluation& e) {
    e.model = QueueModelChoice::Exact;
    PerformanceMeasures& m = e.measures;
    // The sound abandonment measures, not 1 - P(S) and the quotients by it.
    m.abandonProb = e.abandonment.abandonProb;
    const double undefined = std::numeric_limits<double>::quiet_NaN();
    m.meanWaitAbandon = e.abandonment.defined ? e.abandonment.meanWait : undefined;
    m.secondMomentAbandon = e.abandonment.defined ? e.abandonment.secondMoment : undefined;
    m.varianceAbandon = e.abandonment.defined ? e.abandonment.variance : undefined;
    const double ulps = kChainRoundingUlps * (static_cast<double>(e.input.servers) + e.input.waitingPlaces + 1) *
                        std::numeric_limits<double>::epsilon();
    PerformanceMeasures b;
    for (double PerformanceMeasures::*member : kPerformanceMembers) b.*member = ulps * std::fabs(m.*member);
    e.measureBounds = b;
    for (ThresholdResult& t : e.thresholds)
        if (t.bound) *t.bound += b.lossProb + b.noWaitProb;
}

}  // namespace

Evaluation evaluateScenario(const ModelInput& input, const EvaluationRequest& request, BinomialRows& rows,
                            ScenarioWorkspace& workspace) {
    if (request.model == QueueModelChoice::Exact) {
        if (input.patience != PatienceType::Exponential || input.waitingPlaces > kChainRoomForExponential)
            return evaluateExact(input, request);
        EvaluationRequest chain = request;
        chain.model = QueueModelChoice::Chain;
        chain.method.reset();
        Evaluation e = evaluateScenario(input, chain, rows, workspace);
        asExactModel(e);
        return e;
    }
    Evaluation e;
    e.input = input;
    e.method = request.method ? *request.method : defaultMethod(input);
    const bool curves = request.withCurves && !request.thresholds.empty();

    // The thresholds ascending, each once: the checks read them as a curve.
    std::vector<double>& moments = workspace.moments;
    moments.assign(request.thresholds.begin(), request.thresholds.end());
    std::sort(moments.begin(), moments.end());
    moments.erase(std::unique(moments.begin(), moments.end()), moments.end());

    RunRequest run;
    run.euler = curves && e.method == WaitingMethod::Euler;
    run.talbot = curves && e.method == WaitingMethod::Talbot;
    if (curves) run.moments = &moments;
    run.engine = request.engine;
    run.view = MeasureView::Sound;
    ModelRun& done = workspace.run;
    runModelInto(done, workspace.positionRows, input, rows, run);
    std::optional<ExactWaitingCurves> exact;
    if (curves && e.method == WaitingMethod::Exact) {
        ExactWaitingOptions options;
        options.engine = request.engine;
        exact = evaluateExactWaitingTime(done.model, moments, options);
        if (!exact->applicable) {
            // Outside the exact method's domain (a negative hazard rate):
            // Euler with the input's terms, and its checks.
            exact.reset();
            e.method = WaitingMethod::Euler;
            run.euler = true;
            runModelInto(done, workspace.positionRows, input, rows, run);
            Finding f;
            f.kind = FindingKind::ExactNotApplicable;
            f.severity = Severity::Note;
            f.algorithm = InversionAlgorithm::Euler;
            f.inversionTerms = input.inversionTerms;
            done.findings.push_back(f);
        }
    }

    e.measures = withProbabilitiesInRange(done.model.measures);
    e.abandonment = soundAbandonment(done.model);
    e.analyst = analystMeasures(input, e.measures, e.abandonment);
    const WaitingTimeCurves* c = nullptr;
    if (done.curves.euler) c = &*done.curves.euler;
    if (done.curves.talbot) c = &*done.curves.talbot;
    for (double tau : request.thresholds) {
        ThresholdResult t;
        t.tau = tau;
        const std::size_t i =
            static_cast<std::size_t>(std::lower_bound(moments.begin(), moments.end(), tau) - moments.begin());
        if (exact) {
            // Kept in [0, 1] like the others: the exact value lies there, so
            // the bound still holds.
            const double level = serviceLevel(e.measures, exact->joint[i]);
            t.serviceLevel = withinUnitInterval(level);
            t.conditional = withinUnitInterval(exact->conditional[i]);
            t.bound = serviceLevelBound(e.measures, exact->jointBound[i], level);
            t.conditionalBound = exact->conditionalBound[i];
        } else if (c) {
            t.serviceLevel = withinUnitInterval(serviceLevel(e.measures, c->joint[i]));
            t.conditional = withinUnitInterval(c->conditional[i]);
        } else {
            t.serviceLevel = kNaN;
            t.conditional = kNaN;
        }
        e.thresholds.push_back(t);
    }
    e.findings = std::move(done.findings);
    for (const Finding& f : checkSoundMeasures(e)) e.findings.push_back(f);
    return e;
}

bool columnDefined(const Evaluation& e, const Column& column) {
    if (givenAbandonment(column.measure)) return e.abandonment.defined;
    return column.measure != Measure::ServiceLevelBound || e.method == WaitingMethod::Exact;
}

double columnValue(const Evaluation& e, const Column& column) {
    const PerformanceMeasures& m = e.measures;
    const AbandonmentMeasures& a = e.abandonment;
    switch (column.measure) {
        case Measure::AbandonProb: return a.abandonProb;
        case Measure::MeanWaitAbandon: return a.defined ? a.meanWait : kNaN;
        case Measure::SecondMomentAbandon: return a.defined ? a.secondMoment : kNaN;
        case Measure::VarianceAbandon: return a.defined ? a.variance : kNaN;
        case Measure::Occupancy: return e.analyst.occupancy;
        case Measure::ASA: return e.analyst.asa;
        case Measure::MeanQueueLength: return e.analyst.meanQueueLength;
        case Measure::AbandonRate: return e.analyst.abandonRate;
        case Measure::ServiceLevelBound:
            for (const ThresholdResult& t : e.thresholds)
                if (t.tau == column.tau) return t.bound ? *t.bound : kNaN;
            return kNaN;
        case Measure::ServiceLevel:
        case Measure::ConditionalWait:
            for (const ThresholdResult& t : e.thresholds)
                if (t.tau == column.tau) return column.measure == Measure::ServiceLevel ? t.serviceLevel : t.conditional;
            return kNaN;
        default: return calculatorValue(m, column.measure);
    }
}

std::vector<double> columnValues(const Evaluation& e) {
    std::vector<double> values;
    std::vector<double> taus;
    for (const ThresholdResult& t : e.thresholds) taus.push_back(t.tau);
    for (const Column& c : resultColumns(taus)) values.push_back(columnValue(e, c));
    return values;
}

}  // namespace queuecalc
