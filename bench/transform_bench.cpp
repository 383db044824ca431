// Scalar reference against the fast path: the waiting-time transform, the
// Euler and the Talbot inversion for r = 20, 200 and 1000, every SIMD kernel
// on the transform values of the three large examples (examples/large,
// examples/overloaded, examples/lognormal), and their whole computation.
// Before the benchmarks run, the program measures the machine's peak
// double-division throughput (AVX2 where the processor has it, otherwise
// SSE2) with all cores dividing at once; every benchmark then reports
//   step_factors/s  step factors of the transform per second, counted as if
//                   every one were computed,
//   div/s           the divisions of doing every step factor (two per step
//                   factor and two per point) per second,
//   peak_ratio      div/s divided by that peak: 1 is the time all those
//                   divisions take at the machine's peak,
//   steps_done      (kernel benchmarks) the share of the vector steps the
//                   kernel actually did; the rest could not change a bit.
// Times are wall-clock times, since the fast path uses several threads.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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
const char* const kLargeExamples[] = {"large", "overloaded", "lognormal"};

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

typedef std::chrono::steady_clock Clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Counters for `points` transform values per iteration; `seconds` is the
// wall-clock time of all iterations.
void reportWork(benchmark::State& state, int waitingPlaces, double points, double seconds) {
    const double steps = points * static_cast<double>(stepFactorsPerPoint(waitingPlaces));
    const double divisions = 2 * steps + 2 * points;
    typedef benchmark::Counter C;
    state.counters["step_factors/s"] = C(steps, C::kIsIterationInvariantRate);
    state.counters["div/s"] = C(divisions, C::kIsIterationInvariantRate);
    const double perSecond = divisions * static_cast<double>(state.iterations()) / seconds;
    state.counters["peak_ratio"] = C(perSecond / peakDivisionsPerSecond);
}

double shareOfSteps(const TransformWork& work) {
    return work.stepsInFull == 0
               ? 1.0
               : static_cast<double>(work.stepsDone) / static_cast<double>(work.stepsInFull);
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
    TransformWork done;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        done =
            evaluateTransformPoints(cc.model(), a.data(), b.data(), a.size(), out.data(), level, 0);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportWork(state, waitingPlaces, static_cast<double>(a.size()), secondsSince(start));
    state.counters["steps_done"] = benchmark::Counter(shareOfSteps(done));
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

struct LargeExample {
    ModelInput input;
    BinomialTable table;
};

const LargeExample& largeExample(const std::string& name) {
    static std::map<std::string, std::unique_ptr<LargeExample>> read;
    std::unique_ptr<LargeExample>& entry = read[name];
    if (!entry) {
        const std::string folder = std::string(QUEUECALC_EXAMPLES) + "/" + name;
        entry = std::make_unique<LargeExample>();
        entry->input = readModelInputFile(folder + "/" + kInputFileName);
        entry->table = readBinomialTableFile(folder + "/" + kBinomialFileName,
                                             entry->input.inversionTerms, entry->input.inversion);
    }
    return *entry;
}

// Transform values per moment of the example's algorithms.
double nodesPerMoment(const ModelInput& in) {
    return static_cast<double>(queuecalc::nodesPerMoment(in.inversion, in.inversionTerms));
}

// The whole computation of one of the large examples (everything but reading
// the files and writing the results), as the program does it.
void largeExampleBenchmark(benchmark::State& state, TransformEngine engine, std::string name) {
    const LargeExample& example = largeExample(name);
    const ModelInput& in = example.input;
    std::size_t moments = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        RunResults run = computeRun(in, example.table, engine);
        moments = run.timeGrid.size();
        benchmark::DoNotOptimize(run.timeGrid.data());
    }
    const double seconds = secondsSince(start);
    reportWork(state, in.waitingPlaces, static_cast<double>(moments) * nodesPerMoment(in), seconds);
    state.SetLabel(engineLabel(engine));
}

// Every transform value of a large example's run with one named kernel, in
// the batches the inversions form (kMomentsPerBatch moments of one algorithm
// at a time), threads as the fast path uses them: the time, and the share of
// vector steps each instruction set does.
void largeKernelBenchmark(benchmark::State& state, SimdLevel level, std::string name) {
    const LargeExample& example = largeExample(name);
    const ModelInput& in = example.input;
    const QueueModel queue = buildQueueModel(in);
    const std::size_t moments =
        static_cast<std::size_t>(std::floor(in.maxTime / in.momentInterval));
    std::vector<double> timeGrid;
    for (std::size_t j = 1; j <= moments; ++j) timeGrid.push_back(j * in.momentInterval);
    std::vector<const InversionNodes*> rules;
    const EulerRule euler =
        buildEulerRule(in.inversionTerms, example.table.rows[in.inversionTerms]);
    const TalbotRule talbot = buildTalbotRule(in.inversionTerms);
    if (runsEuler(in.inversion)) rules.push_back(&euler.nodes);
    if (runsTalbot(in.inversion)) rules.push_back(&talbot.nodes);
    // Points of each batch, Euler's batches first.
    std::vector<std::vector<double>> batchA;
    std::vector<std::vector<double>> batchB;
    for (const InversionNodes* nodes : rules) {
        for (std::size_t first = 0; first < moments; first += kMomentsPerBatch) {
            const std::size_t last = std::min(moments, first + kMomentsPerBatch);
            batchA.emplace_back();
            batchB.emplace_back();
            for (std::size_t n = first; n < last; ++n) {
                for (std::size_t k = 0; k < nodes->re.size(); ++k) {
                    batchA.back().push_back(nodes->re[k] / timeGrid[n]);
                    batchB.back().push_back(nodes->im[k] / timeGrid[n]);
                }
            }
        }
    }
    std::vector<Complex> out;
    TransformWork total;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        total = TransformWork();
        for (std::size_t i = 0; i < batchA.size(); ++i) {
            out.resize(batchA[i].size());
            const TransformWork done =
                evaluateTransformPoints(queue.transform, batchA[i].data(), batchB[i].data(),
                                        batchA[i].size(), out.data(), level, 0);
            total.stepsDone += done.stepsDone;
            total.stepsInFull += done.stepsInFull;
            benchmark::DoNotOptimize(out.data());
        }
    }
    reportWork(state, in.waitingPlaces, static_cast<double>(moments) * nodesPerMoment(in),
               secondsSince(start));
    state.counters["steps_done"] = benchmark::Counter(shareOfSteps(total));
    state.SetLabel(simdLevelName(level));
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
    for (const char* name : kLargeExamples) {
        for (SimdLevel level : levels) {
            if (!simdLevelAvailable(level)) continue;
            const std::string title =
                std::string("large_kernel/") + name + "/" + simdLevelName(level);
            benchmark::RegisterBenchmark(title.c_str(), largeKernelBenchmark, level,
                                         std::string(name))
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
        for (const auto& e : engines) {
            // The scalar reference of the two other examples alone takes
            // tens of seconds per run; examples/large shows the ratio.
            if (e.engine == TransformEngine::Scalar && std::string(name) != "large") continue;
            const std::string title = std::string("large_example/") + name + "/" + e.name;
            benchmark::RegisterBenchmark(title.c_str(), largeExampleBenchmark, e.engine,
                                         std::string(name))
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
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
