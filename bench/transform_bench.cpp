// Scalar reference against the fast path: the waiting-time transform, the
// Euler and the Talbot inversion for r = 20, 200 and 1000, and the whole large
// example (examples/large). Before the benchmarks run, the program measures
// the machine's peak double-division throughput (AVX2 where the processor has
// it, otherwise SSE2) with all cores dividing at once; every benchmark then
// reports
//   step_factors/s  step factors of the transform per second,
//   div/s           the transform's divisions per second (two per step
//                   factor and two per point),
//   peak_ratio      div/s divided by that peak: 1 is the division limit.
// Times are wall-clock times, since the fast path uses several threads.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/run.h"
#include "division_peak.h"
#include "input/binomial_table.h"
#include "input/model_input.h"
#include "inversion/euler.h"
#include "inversion/talbot.h"
#include "inversion/transform.h"
#include "inversion/transform_simd.h"
#include "support/pascal_table.h"

namespace queuecalc {
namespace {

const int kTerms = 32;   // M
const int kMoments = 8;  // t = 0.001, 0.002, .., 0.008
const double kInterval = 0.001;
const int kSizes[] = {20, 200, 1000};

double peakDivisionsPerSecond = 0;  // all cores, set by main before any benchmark


// The large example scaled to r waiting places: s = r/2 agents at a load of
// 0.99, mu = 1, exponential patience with rate 0.5.
ModelInput callCentreInput(int waitingPlaces) {
    ModelInput in;
    in.setAbandonType(0);
    in.abandonParam1 = 0.5;
    in.abandonParam2 = -1;
    in.abandonParam3 = -1;
    in.servers = waitingPlaces / 2;
    in.waitingPlaces = waitingPlaces;
    in.serviceRate = 1.0;
    in.arrivalRate = 0.99 * in.servers;
    in.momentInterval = kInterval;
    in.maxTime = 0;
    in.inversionTerms = kTerms;
    in.setInversionMethod(1);
    return in;
}

struct CallCentre {
    QueueModel queue;
    const TransformModel& model() const { return queue.transform; }
    std::vector<double> timeGrid;
};

const CallCentre& callCentre(int waitingPlaces) {
    static std::map<int, std::unique_ptr<CallCentre>> built;
    std::unique_ptr<CallCentre>& entry = built[waitingPlaces];
    if (!entry) {
        const ModelInput in = callCentreInput(waitingPlaces);
        entry = std::make_unique<CallCentre>();
        entry->queue = buildQueueModel(in);
        for (int j = 1; j <= kMoments; ++j) entry->timeGrid.push_back(j * kInterval);
    }
    return *entry;
}

double stepFactorsPerPoint(int waitingPlaces) {
    const double r = waitingPlaces;
    return r * (r + 1) / 2;
}

typedef std::chrono::steady_clock Clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Counters for `points` transform values per iteration; `seconds` is the
// wall-clock time of all iterations.
void reportWork(benchmark::State& state, int waitingPlaces, double points, double seconds) {
    const double steps = points * stepFactorsPerPoint(waitingPlaces);
    const double divisions = 2 * steps + 2 * points;
    typedef benchmark::Counter C;
    state.counters["step_factors/s"] = C(steps, C::kIsIterationInvariantRate);
    state.counters["div/s"] = C(divisions, C::kIsIterationInvariantRate);
    const double perSecond = divisions * static_cast<double>(state.iterations()) / seconds;
    state.counters["peak_ratio"] = C(perSecond / peakDivisionsPerSecond);
}

std::string engineLabel(TransformEngine engine) {
    if (engine == TransformEngine::Scalar) return "scalar reference, 1 thread";
    return std::string(simdLevelName(widestSimdLevel())) + ", up to " +
           std::to_string(std::max(1u, std::thread::hardware_concurrency())) + " threads";
}

// One batch as the inversions form it: the 2M + 1 Euler and M Talbot nodes of
// every moment, divided by t.
void batchPoints(const CallCentre& cc, std::vector<double>& a, std::vector<double>& b) {
    const EulerRule euler = buildEulerRule(kTerms, testsupport::pascalTable(kTerms).rows[kTerms]);
    const TalbotRule talbot = buildTalbotRule(kTerms);
    for (double t : cc.timeGrid) {
        for (std::size_t k = 0; k < euler.nodes.re.size(); ++k) {
            a.push_back(euler.nodes.re[k] / t);
            b.push_back(euler.nodes.im[k] / t);
        }
        for (std::size_t k = 0; k < talbot.nodes.re.size(); ++k) {
            a.push_back(talbot.nodes.re[k] / t);
            b.push_back(talbot.nodes.im[k] / t);
        }
    }
}

void transformBenchmark(benchmark::State& state, TransformEngine engine, int waitingPlaces) {
    const CallCentre& cc = callCentre(waitingPlaces);
    std::vector<double> a;
    std::vector<double> b;
    batchPoints(cc, a, b);
    std::vector<Complex> out(a.size());
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        evaluateTransformBatch(cc.model(), a.data(), b.data(), a.size(), out.data(), engine);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportWork(state, waitingPlaces, static_cast<double>(a.size()), secondsSince(start));
    state.SetLabel(engineLabel(engine));
}

// The same batch with one named SIMD kernel, threads as the fast path uses
// them: how the instruction sets compare on this processor.
void kernelBenchmark(benchmark::State& state, SimdLevel level, int waitingPlaces) {
    const CallCentre& cc = callCentre(waitingPlaces);
    std::vector<double> a;
    std::vector<double> b;
    batchPoints(cc, a, b);
    std::vector<Complex> out(a.size());
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        evaluateTransformPoints(cc.model(), a.data(), b.data(), a.size(), out.data(), level, 0);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportWork(state, waitingPlaces, static_cast<double>(a.size()), secondsSince(start));
    state.SetLabel(simdLevelName(level));
}

void eulerBenchmark(benchmark::State& state, TransformEngine engine, int waitingPlaces) {
    const CallCentre& cc = callCentre(waitingPlaces);
    const std::vector<double> row = testsupport::pascalTable(kTerms).rows[kTerms];
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        WaitingTimeCurves curves =
            evaluateWaitingTime(cc.queue, InversionAlgorithm::Euler, kTerms, cc.timeGrid, row, engine);
        benchmark::DoNotOptimize(curves.joint.data());
    }
    reportWork(state, waitingPlaces, static_cast<double>(kMoments) * (2 * kTerms + 1),
               secondsSince(start));
    state.SetLabel(engineLabel(engine));
}

void talbotBenchmark(benchmark::State& state, TransformEngine engine, int waitingPlaces) {
    const CallCentre& cc = callCentre(waitingPlaces);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        WaitingTimeCurves curves =
            evaluateWaitingTime(cc.queue, InversionAlgorithm::Talbot, kTerms, cc.timeGrid, {}, engine);
        benchmark::DoNotOptimize(curves.joint.data());
    }
    reportWork(state, waitingPlaces, static_cast<double>(kMoments) * kTerms, secondsSince(start));
    state.SetLabel(engineLabel(engine));
}

// The whole computation of examples/large (everything but reading the files
// and writing the results), as the program does it.
void largeExampleBenchmark(benchmark::State& state, TransformEngine engine) {
    const std::string folder = QUEUECALC_LARGE_EXAMPLE;
    const ModelInput in = readModelInputFile(folder + "/" + kInputFileName);
    const BinomialTable table = readBinomialTableFile(folder + "/" + kBinomialFileName,
                                                      in.inversionTerms, in.inversion);
    std::size_t moments = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        RunResults run = computeRun(in, table, engine);
        moments = run.timeGrid.size();
        benchmark::DoNotOptimize(run.timeGrid.data());
    }
    const double seconds = secondsSince(start);
    const double nodes = (runsEuler(in.inversion) ? 2 * in.inversionTerms + 1 : 0) +
                         (runsTalbot(in.inversion) ? in.inversionTerms : 0);
    reportWork(state, in.waitingPlaces, static_cast<double>(moments) * nodes, seconds);
    state.SetLabel(engineLabel(engine));
}

void divisionPeakBenchmark(benchmark::State& state, bench::DivisionKind kind) {
    const long rounds = 100000;
    double sink = 0;
    for (auto _ : state) sink += bench::divideRounds(kind, rounds);
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations() * rounds * bench::divisionsPerRound(kind));
    state.SetLabel(bench::divisionKindName(kind));
}

void registerBenchmarks() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    // Division throughput on one core and on all: if the per-core rate
    // drops with all cores busy, they share a divider.
    const bench::DivisionKind kinds[] = {bench::DivisionKind::Scalar, bench::DivisionKind::Sse2,
                                         bench::DivisionKind::Avx2};
    for (bench::DivisionKind kind : kinds) {
        if (!bench::divisionKindAvailable(kind)) continue;
        benchmark::RegisterBenchmark(
            (std::string("division_peak/") + bench::divisionKindName(kind)).c_str(),
            divisionPeakBenchmark, kind)
            ->Threads(1)
            ->Threads(static_cast<int>(cores))
            ->UseRealTime();
    }
    const struct {
        const char* name;
        TransformEngine engine;
    } engines[] = {{"scalar", TransformEngine::Scalar}, {"fast", TransformEngine::Fast}};
    for (int r : kSizes) {
        for (const auto& e : engines) {
            const std::string suffix = std::string("/") + e.name + "/r:" + std::to_string(r);
            benchmark::RegisterBenchmark(("transform" + suffix).c_str(), transformBenchmark,
                                         e.engine, r)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("euler" + suffix).c_str(), eulerBenchmark, e.engine, r)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("talbot" + suffix).c_str(), talbotBenchmark, e.engine, r)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    const SimdLevel levels[] = {SimdLevel::Sse2, SimdLevel::Avx2, SimdLevel::Avx512};
    for (SimdLevel level : levels) {
        if (!simdLevelAvailable(level)) continue;
        const std::string name = std::string("kernel/") + simdLevelName(level) + "/r:1000";
        benchmark::RegisterBenchmark(name.c_str(), kernelBenchmark, level, 1000)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    for (const auto& e : engines) {
        benchmark::RegisterBenchmark((std::string("large_example/") + e.name).c_str(),
                                     largeExampleBenchmark, e.engine)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace
}  // namespace queuecalc

int main(int argc, char** argv) {
    using namespace queuecalc;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const bench::DivisionKind kind = bench::widestDivisionKind();
    // The best of three short measurements: the machine's limit, not the
    // share another program leaves of it.
    double oneCore = 0;
    for (int i = 0; i < 3; ++i) {
        oneCore = std::max(oneCore, bench::measureDivisionRate(kind, 1, 0.3));
        peakDivisionsPerSecond =
            std::max(peakDivisionsPerSecond, bench::measureDivisionRate(kind, cores, 0.3));
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "%.4g divisions/s (%s, %u cores; one core alone %.4g/s, all cores %.2f x that)",
                  peakDivisionsPerSecond, bench::divisionKindName(kind), cores, oneCore,
                  peakDivisionsPerSecond / oneCore);
    std::printf("Peak division throughput: %s\nFast path kernel: %s\n", line,
                simdLevelName(widestSimdLevel()));
    std::fflush(stdout);
    benchmark::AddCustomContext("peak_divisions", line);
    benchmark::AddCustomContext("fast_kernel", simdLevelName(widestSimdLevel()));

    registerBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
