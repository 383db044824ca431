// The sweep's two speed questions, computation only (no process start, no
// file reading; rows go to a discarding stream):
//   Staffing/typical   the smallest number of agents for the typical example
//                      (s = 10, r = 20, lambda = 9.5, mu = 1, exponential
//                      patience 0.5, M = 32) with targets SL(0.2) >= 0.8 and
//                      P(A) <= 0.05, one threshold; one thread.
//   Grid/10028         46 agent counts (5 .. 50) x 218 arrival rates, r = 20,
//                      one threshold, on 1 and on all cores; reports
//                      scenarios per second.
// Each with the exact method (method:1, the sweep's default) and with Euler
// (method:0).
// Times are wall-clock times (the grid runs worker threads). The comparison
// with one calculator run per scenario in a shell loop is made outside this
// program (see bench/README.md).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ostream>
#include <streambuf>
#include <thread>

#include "analysis/evaluation.h"
#include "analysis/plan_run.h"
#include "input/model_input.h"
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

WaitingMethod methodOf(std::int64_t arg) { return arg == 1 ? WaitingMethod::Exact : WaitingMethod::Euler; }

void staffingTypical(benchmark::State& state) {
    SweepPlan plan;
    plan.base = typicalCentre();
    plan.evaluation.thresholds = {0.2};
    plan.evaluation.method = methodOf(state.range(0));
    plan.staff = true;
    plan.targets = {parseTarget("SL(0.2)>=0.8"), parseTarget("P(A)<=0.05")};
    BinomialRows rows;
    for (auto _ : state) {
        std::string record;
        formatSweepRow(plan, computeRow(plan, rows, 0), record);
        benchmark::DoNotOptimize(record);
    }
    state.counters["servers"] = 12;  // the answer, for the record
}
BENCHMARK(staffingTypical)
    ->Name("Staffing/typical")
    ->Arg(0)
    ->Arg(1)
    ->ArgName("method")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void grid(benchmark::State& state) {
    SweepPlan plan;
    plan.base = typicalCentre();
    plan.evaluation.thresholds = {0.2};
    plan.grid = ScenarioGrid({FieldValues::parse("servers=5:50"), FieldValues::parse("arrivalRate=2:45.4:0.2")});
    plan.jobs = static_cast<unsigned>(state.range(0));
    plan.evaluation.method = methodOf(state.range(1));
    BinomialRows rows;
    DiscardBuffer discard;
    std::ostream out(&discard);
    const RowFormatter format = [&plan](const RowResult& row, std::string& text) { formatSweepRow(plan, row, text); };
    for (auto _ : state) benchmark::DoNotOptimize(runPlan(plan, rows, format, out));
    state.counters["scenarios"] = static_cast<double>(plan.grid.size());
    state.counters["scenarios/s"] = benchmark::Counter(static_cast<double>(plan.grid.size()),
                                                       benchmark::Counter::kIsIterationInvariantRate);
    state.counters["per_scenario"] = benchmark::Counter(
        static_cast<double>(plan.grid.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(grid)
    ->Name("Grid/10028")
    ->ArgsProduct({{1, static_cast<int>(std::thread::hardware_concurrency())}, {0, 1}})
    ->ArgNames({"jobs", "method"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace queuecalc

BENCHMARK_MAIN();
