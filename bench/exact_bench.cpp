// The exact waiting-time method against the calculator's Euler inversion
// (M = 32, the fast transform on all cores, as the calculator runs it):
//   Grid/<example>/exact|euler   every moment of the example's grid
//                                (typical, large, lognormal, overloaded);
//                                exact on all cores (moments spread over threads).
//   .../exact-rows               the exact method held to its rows where it
//                                would take the death chain (exponential
//                                patience: typical, large).
//   Grid/<example>/calculator    the calculator's whole computation of the
//                                example (model, Euler and Talbot, the checks),
//                                without reading and writing files.
//   Moment/<example>/exact|euler one moment, SL(tau) as the staffing search
//                                asks it, on one thread: tau = the middle of the
//                                example's grid (typical 2.5, large 0.05).
//   Scenarios/typical/exact|euler 10,000 scenarios of the typical example
//                                (arrival rates 2 .. 12), each built and
//                                evaluated at one moment (0.2) on one thread;
//                                time per scenario.
// The model is built outside the timed loop except in Scenarios.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "engine/exact_waiting_time.h"
#include "input/binomial_row.h"
#include "input/input_checks.h"
#include "input/model_input.h"
#include "input/time_grid.h"

namespace queuecalc {
namespace {

constexpr int kTerms = 32;

ModelInput example(const std::string& name) {
    ModelInput in = readModelInputFile(std::string(QUEUECALC_EXAMPLES) + "/" + name + "/INPUT.DAT");
    validateModelInput(in);
    return in;
}

std::vector<double> gridOf(const ModelInput& in) {
    return buildTimeGrid(computeMomentCount(in.maxTime, in.momentInterval), in.momentInterval);
}

ExactWaitingOptions exactOptions(bool rows, TransformEngine engine) {
    ExactWaitingOptions options;
    options.engine = engine;
    options.allowDeathChain = !rows;
    return options;
}

void gridExact(benchmark::State& state, const std::string& name, bool rows) {
    const QueueModel model = buildQueueModel(example(name));
    const std::vector<double> grid = gridOf(model.input);
    const ExactWaitingOptions options = exactOptions(rows, TransformEngine::Fast);
    for (auto _ : state) benchmark::DoNotOptimize(evaluateExactWaitingTime(model, grid, options));
}

void gridEuler(benchmark::State& state, const std::string& name) {
    const QueueModel model = buildQueueModel(example(name));
    const std::vector<double> grid = gridOf(model.input);
    const std::vector<double> row = exactBinomialRow(kTerms);
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluateWaitingTime(model, InversionAlgorithm::Euler, kTerms, grid, row));
}

void gridCalculator(benchmark::State& state, const std::string& name) {
    const ModelInput input = example(name);
    BinomialRows rows;
    for (auto _ : state) benchmark::DoNotOptimize(runModel(input, rows, calculatorRequest(input)));
}

void momentExact(benchmark::State& state, const std::string& name, double tau, bool rows) {
    const QueueModel model = buildQueueModel(example(name));
    const ExactWaitingOptions one = exactOptions(rows, TransformEngine::FastOneThread);
    for (auto _ : state) benchmark::DoNotOptimize(evaluateExactWaitingTime(model, {tau}, one));
}

void momentEuler(benchmark::State& state, const std::string& name, double tau) {
    const QueueModel model = buildQueueModel(example(name));
    const std::vector<double> row = exactBinomialRow(kTerms);
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluateWaitingTime(model, InversionAlgorithm::Euler, kTerms, {tau}, row,
                                                     TransformEngine::FastOneThread));
}

constexpr int kScenarios = 10000;

void scenarios(benchmark::State& state, bool exact, bool rows) {
    ModelInput in = example("typical");
    const std::vector<double> row = exactBinomialRow(kTerms);
    const ExactWaitingOptions one = exactOptions(rows, TransformEngine::FastOneThread);
    for (auto _ : state) {
        for (int i = 0; i < kScenarios; ++i) {
            in.arrivalRate = 2 + 10.0 * i / kScenarios;
            const QueueModel model = buildQueueModel(in);
            if (exact)
                benchmark::DoNotOptimize(evaluateExactWaitingTime(model, {0.2}, one));
            else
                benchmark::DoNotOptimize(evaluateWaitingTime(model, InversionAlgorithm::Euler, kTerms, {0.2}, row,
                                                             TransformEngine::FastOneThread));
        }
    }
    // Seconds per scenario (shown with its unit prefix, e.g. 12u).
    state.counters["per_scenario"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kScenarios,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace
}  // namespace queuecalc

int main(int argc, char** argv) {
    using namespace queuecalc;
    for (const char* name : {"typical", "large", "lognormal", "overloaded"}) {
        benchmark::RegisterBenchmark((std::string("Grid/") + name + "/exact").c_str(), gridExact, std::string(name),
                                     false)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        if (example(name).patience == PatienceType::Exponential)
            benchmark::RegisterBenchmark((std::string("Grid/") + name + "/exact-rows").c_str(), gridExact,
                                         std::string(name), true)
                ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((std::string("Grid/") + name + "/euler").c_str(), gridEuler, std::string(name))
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((std::string("Grid/") + name + "/calculator").c_str(), gridCalculator,
                                     std::string(name))
            ->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    for (auto [name, tau] : {std::pair<const char*, double>{"typical", 2.5}, {"large", 0.05}}) {
        for (bool rows : {false, true})
            benchmark::RegisterBenchmark((std::string("Moment/") + name + (rows ? "/exact-rows" : "/exact")).c_str(),
                                         momentExact, std::string(name), tau, rows)
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Moment/") + name + "/euler").c_str(), momentEuler, std::string(name), tau)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("Scenarios/typical/exact", scenarios, true, false)
        ->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark("Scenarios/typical/exact-rows", scenarios, true, true)
        ->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark("Scenarios/typical/euler", scenarios, false, false)
        ->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
