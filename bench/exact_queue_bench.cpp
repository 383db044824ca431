// The exact model of the queue against the chain, each timed in the same run
// and reported as a ratio (counters exact_us, chain_us, ratio: processor time
// of the one thread that runs them), a scenario at a time as the sweep and the staffing search run them
// (analysis/evaluation.h evaluateScenario: input checks, model, measures, the
// service level at the thresholds):
//   Typical/one-threshold  the typical example at arrival rates 2 .. 12, SL(0.2);
//                          the chain with its default waiting-time method
//                          (exact, certified).
//   TypicalLognormal/one-threshold  the same with lognormal patience of mean 2,
//                          CV 1 (the quadrature against the chain's rows).
//   Large/one-threshold    examples/large (500 agents, 1000 places), SL(0.02).
//   LargestRoom            13,376 waiting places and 6,688 agents (lognormal
//                          patience, mean 1, variance 1, 6,700 calls per time
//                          unit), SL(0.01): the exact model alone (the chain's
//                          position tables of this room take seconds).
// The week of 672 intervals is timed by queuecalc_plan_bench.

#include <benchmark/benchmark.h>

#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "input/input_checks.h"
#include "input/model_input.h"

namespace queuecalc {
namespace {

ModelInput example(const std::string& name) {
    ModelInput in = readModelInputFile(std::string(QUEUECALC_EXAMPLES) + "/" + name + "/INPUT.DAT");
    validateModelInput(in);
    return in;
}

ModelInput fromValues(const std::string& values) {
    std::istringstream in(values);
    ModelInput input = readModelInput(in);
    validateModelInput(input);
    return input;
}

// The calling thread's processor time, so that other work on the machine
// moves the figures little (both models run on this one thread).
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Processor seconds per scenario of `inputs` with the model, the best of `rounds`.
double secondsPerScenario(const std::vector<ModelInput>& inputs, QueueModelChoice model, double tau, int rounds) {
    BinomialRows rows;
    EvaluationRequest request;
    request.model = model;
    request.thresholds = {tau};
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        const double start = threadSeconds();
        for (const ModelInput& in : inputs) benchmark::DoNotOptimize(evaluateScenario(in, request, rows));
        const double seconds = threadSeconds() - start;
        best = std::min(best, seconds / static_cast<double>(inputs.size()));
    }
    return best;
}

void compare(benchmark::State& state, const std::vector<ModelInput>& inputs, double tau, int rounds) {
    double exact = 0, chain = 0;
    for (auto _ : state) {
        exact = secondsPerScenario(inputs, QueueModelChoice::Exact, tau, rounds);
        chain = secondsPerScenario(inputs, QueueModelChoice::Chain, tau, rounds);
    }
    state.counters["exact_us"] = exact * 1e6;
    state.counters["chain_us"] = chain * 1e6;
    state.counters["ratio"] = exact / chain;
}

void typical(benchmark::State& state) {
    std::vector<ModelInput> inputs;
    ModelInput in = example("typical");
    for (int i = 0; i < 1000; ++i) {
        in.arrivalRate = 2 + 0.01 * i;
        inputs.push_back(in);
    }
    compare(state, inputs, 0.2, 3);
}
BENCHMARK(typical)->Name("Typical/one-threshold")->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void typicalLognormal(benchmark::State& state) {
    std::vector<ModelInput> inputs;
    ModelInput in = example("typical");
    in.setAbandonType(2);  // lognormal patience of mean 2 and variance 4 (CV 1)
    in.abandonParam1 = 2;
    in.abandonParam2 = 4;
    for (int i = 0; i < 1000; ++i) {
        in.arrivalRate = 2 + 0.01 * i;
        inputs.push_back(in);
    }
    compare(state, inputs, 0.2, 3);
}
BENCHMARK(typicalLognormal)->Name("TypicalLognormal/one-threshold")->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void large(benchmark::State& state) { compare(state, {example("large")}, 0.02, 5); }
BENCHMARK(large)->Name("Large/one-threshold")->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void largestRoom(benchmark::State& state) {
    const ModelInput in = fromValues("1 2 1 1 -1 6688 13376 1.0 6700 0.01 32 1 0");
    BinomialRows rows;
    EvaluationRequest request;
    request.model = QueueModelChoice::Exact;
    request.thresholds = {0.01};
    for (auto _ : state) benchmark::DoNotOptimize(evaluateScenario(in, request, rows));
}
BENCHMARK(largestRoom)->Name("LargestRoom/exact")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace queuecalc

BENCHMARK_MAIN();
