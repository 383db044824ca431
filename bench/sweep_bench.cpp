// The sweep's speed questions, computation and row text only (no process
// start, no file reading; rows go to a discarding stream):
//   Staffing/typical   the smallest number of agents for the typical example
//                      (s = 10, r = 20, lambda = 9.5, mu = 1, exponential
//                      patience 0.5, M = 32) with targets SL(0.2) >= 0.8 and
//                      P(A) <= 0.05, one threshold; one thread.
//   Grid/10028         46 agent counts (5 .. 50) x 218 arrival rates, r = 20,
//                      without a threshold (at:0) or with one (at:1), on 1
//                      and on all cores; reports scenarios per second and
//                      the processor time of all threads per scenario.
//   the method: the scenario's default, or euler (method:euler) when the
//   default is another.
// Times are wall-clock times (the grid runs worker threads). The comparison
// with one calculator run per scenario in a shell loop is made outside this
// program (see bench/README.md).

#include <benchmark/benchmark.h>

#include <ctime>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

#include "analysis/evaluation.h"
#include "analysis/plan_run.h"
#include "input/model_input.h"
#include "cli/target_option.h"
#include "cli/grid_options.h"
#include "report/measure_labels.h"
#include "report/sweep_table.h"

namespace queuecalc {
namespace {

// examples/typical/INPUT.DAT, read as the calculator reads it.
ModelInput typicalCentre() { return readModelInputFile(QUEUECALC_TYPICAL_EXAMPLE "/INPUT.DAT"); }

// Throws every row away.
class DiscardBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void staffingTypical(benchmark::State& state) {
    SweepPlan plan;
    plan.base = typicalCentre();
    plan.staff = true;
    plan.targets = {parseTarget("SL(0.2)>=0.8"), parseTarget("P(A)<=0.05")};
    plan.evaluation.thresholds = targetThresholds(plan.targets);
    BinomialRows rows;
    const SweepRowFormatter format(plan);
    for (auto _ : state) {
        std::string record;
        format(computeRow(plan, rows, 0), record);
        benchmark::DoNotOptimize(record);
    }
    state.counters["servers"] = 12;  // the answer, for the record
}
BENCHMARK(staffingTypical)->Name("Staffing/typical")->Unit(benchmark::kMillisecond)->UseRealTime();

void grid(benchmark::State& state, bool euler) {
    SweepPlan plan;
    plan.base = typicalCentre();
    if (state.range(0) > 0) plan.evaluation.thresholds = {0.2};
    if (euler) plan.evaluation.method = WaitingMethod::Euler;
    plan.grid = ScenarioGrid({parseFieldValues("servers=5:50"), parseFieldValues("arrivalRate=2:45.4:0.2")});
    plan.jobs = static_cast<unsigned>(state.range(1));
    BinomialRows rows;
    DiscardBuffer discard;
    std::ostream out(&discard);
    const RowFormatter format = SweepRowFormatter(plan);
    const std::clock_t start = std::clock();
    for (auto _ : state) benchmark::DoNotOptimize(runPlan(plan, rows, format, out));
    const double processorSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    const double scenarios = static_cast<double>(plan.grid.size());
    state.counters["scenarios"] = scenarios;
    state.counters["scenarios/s"] = benchmark::Counter(scenarios, benchmark::Counter::kIsIterationInvariantRate);
    // Processor time of all threads per scenario, in microseconds: what a
    // scenario costs whatever else the machine runs.
    state.counters["cpu_us/scenario"] =
        1e6 * processorSeconds / (scenarios * static_cast<double>(state.iterations()));
}

void registerGrids() {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const ModelInput typical = typicalCentre();
    const bool defaultIsEuler = defaultMethod(typical) == WaitingMethod::Euler;
    for (bool euler : {false, true}) {
        if (euler && defaultIsEuler) continue;
        const std::string name = euler ? "Grid/10028/method:euler" : "Grid/10028";
        benchmark::RegisterBenchmark(name.c_str(), grid, euler)
            ->ArgsProduct({{0, 1}, {1, cores}})
            ->ArgNames({"at", "jobs"})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

}  // namespace
}  // namespace queuecalc

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    queuecalc::registerGrids();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
