// Many transform values at once: the scalar reference one point after
// another, or the fast path, which evaluates one point per SIMD lane with the
// widest instruction set the processor has (chosen at run time) and shares
// the points out among the processor's cores. Each point is computed by
// exactly the operations of waitingTimeTransform, whichever lane, kernel or
// thread computes it, so the fast path gives the same bits as the reference.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "core/thread_pool.h"
#include "inversion/transform.h"
#include "inversion/transform_simd.h"

namespace queuecalc {

namespace {

// Step factors each thread must have at least. On a quiet machine a second
// thread pays for itself from about 2e5 step factors on (starting and joining
// it takes 20 to 40 microseconds), but when other programs keep the cores
// busy, the wait for the helper's turn on a core is some milliseconds. So a
// batch is shared only when one core alone would need about 1.5 ms or more
// for each thread's part; smaller runs, such as a call centre with 20 waiting
// places, stay on one thread and never wait for another.
const double kStepFactorsPerThread = 2097152;

// Points a thread claims at a time hold about this many step factors (at
// least one block): small enough that the threads finish together even when
// one core is shared with another program, large enough that claiming costs
// nothing.
const double kStepFactorsPerClaim = 262144;

typedef std::uint64_t (*Kernel)(const TransformModel&, const double*, const double*, std::size_t,
                                Complex*);

std::uint64_t evaluatePortable(const TransformModel& model, const double* a, const double* b,
                               std::size_t n, Complex* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = waitingTimeTransform(model, a[i], b[i]);
    return static_cast<std::uint64_t>(n) * stepFactorsPerPoint(model.waitingPlaces);
}

// Every level with its kernel, narrowest first; a level whose kernel is not
// in this build has none and is never available. `processorHas` asks the
// processor and the operating system (the compiler's feature test also checks
// that the system saves the wide registers).
struct KernelEntry {
    SimdLevel level;
    const char* name;
    Kernel kernel;
    std::size_t width;  // points per vector
    bool (*processorHas)();
};

#if QUEUECALC_X86_KERNELS
const KernelEntry kKernels[] = {
    {SimdLevel::Portable, "portable", evaluatePortable, 1, [] { return true; }},
    {SimdLevel::Sse2, "SSE2", simd_kernels::evaluateSse2, 2,
     [] { return __builtin_cpu_supports("sse2") != 0; }},
    {SimdLevel::Avx2, "AVX2", simd_kernels::evaluateAvx2, 4,
     [] { return __builtin_cpu_supports("avx2") != 0; }},
    {SimdLevel::Avx512, "AVX-512", simd_kernels::evaluateAvx512, 8,
     [] { return __builtin_cpu_supports("avx512f") != 0; }},
};
#else
const KernelEntry kKernels[] = {
    {SimdLevel::Portable, "portable", evaluatePortable, 1, [] { return true; }},
    {SimdLevel::Sse2, "SSE2", nullptr, 2, [] { return false; }},
    {SimdLevel::Avx2, "AVX2", nullptr, 4, [] { return false; }},
    {SimdLevel::Avx512, "AVX-512", nullptr, 8, [] { return false; }},
};
#endif

const KernelEntry& kernelEntry(SimdLevel level) {
    for (const KernelEntry& entry : kKernels)
        if (entry.level == level) return entry;
    return kKernels[0];
}

SimdLevel findWidestLevel() {
    SimdLevel widest = SimdLevel::Portable;
    for (const KernelEntry& entry : kKernels)
        if (entry.kernel != nullptr && entry.processorHas()) widest = entry.level;
    return widest;
}

}  // namespace

const char* simdLevelName(SimdLevel level) { return kernelEntry(level).name; }

bool simdLevelAvailable(SimdLevel level) {
    const KernelEntry& entry = kernelEntry(level);
    return entry.kernel != nullptr && entry.processorHas();
}

SimdLevel widestSimdLevel() {
    static const SimdLevel widest = findWidestLevel();
    return widest;
}

namespace {

// The points are cut into blocks of the kernel's width; threads claim runs of
// blocks from a shared counter until none is left. The size of the work is
// judged by the r(r + 1)/2 step factors of a point done in full; the kernels
// often leave much of it out, and the claims keep the threads level anyway.
TransformWork runKernel(const TransformModel& model, const double* a, const double* b,
                        std::size_t n, Complex* out, const KernelEntry& entry, unsigned threads) {
    const Kernel kernel = entry.kernel;
    const std::size_t width = entry.width;
    const std::size_t blocks = (n + width - 1) / width;
    const double stepsPerPoint = workPerPoint(model.waitingPlaces);
    const double work = static_cast<double>(n) * stepsPerPoint;
    TransformWork done;
    done.stepsInFull = static_cast<std::uint64_t>(blocks) * stepFactorsPerPoint(model.waitingPlaces);

    std::size_t want = threads;
    if (want == 0) {
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        const double affordable = work / kStepFactorsPerThread;
        want =
            affordable >= static_cast<double>(cores) ? cores : static_cast<std::size_t>(affordable);
    }
    want = std::min(want, blocks);
    if (want <= 1) {
        done.stepsDone = kernel(model, a, b, n, out);
        return done;
    }

    const double perClaim = kStepFactorsPerClaim / (static_cast<double>(width) * stepsPerPoint);
    const std::size_t claim =
        std::max<std::size_t>(1, std::min(static_cast<std::size_t>(perClaim), blocks / (4 * want)));
    std::atomic<std::uint64_t> stepsDone(0);
    forEachClaimed(want, blocks, claim, [&](std::size_t first, std::size_t last) {
        const std::size_t begin = first * width;
        const std::size_t end = std::min(n, last * width);
        stepsDone += kernel(model, a + begin, b + begin, end - begin, out + begin);
    });
    done.stepsDone = stepsDone;
    return done;
}
}  // namespace

// The kernels end a vector's row only when all its lanes may end it, so
// points that need about the same number of steps should share a vector.
// Their order is free (each value depends on its own point only): the points
// go to the kernel sorted by the squared modulus of a typical step factor,
// c^2 / ((a + c)^2 + b^2) with c the middle of the last row's rates, largest
// first (the slow points are claimed first, so the threads end together).
// This key follows the rate at which a point's products fade.
TransformWork evaluateTransformPoints(const TransformModel& model, const double* a, const double* b,
                                      std::size_t n, Complex* out, SimdLevel level,
                                      unsigned threads) {
    const KernelEntry& entry = kernelEntry(level);
    const int r = model.waitingPlaces;
    const bool sortable = entry.width > 1 && n > entry.width && r > 0 &&
                          model.rowRateLow.size() == static_cast<std::size_t>(r) + 1 &&
                          model.rowRateHigh.size() == static_cast<std::size_t>(r) + 1;
    const double c = sortable ? 0.5 * (model.rowRateLow[r] + model.rowRateHigh[r]) : 0;
    if (!sortable || !(c > 0)) return runKernel(model, a, b, n, out, entry, threads);

    std::vector<std::pair<double, std::size_t>> order(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = a[i] + c;
        const double key = c * c / (t * t + b[i] * b[i]);
        // NaN would break the sort's ordering: such points go last.
        order[i] = {key == key ? key : -1.0, i};
    }
    std::sort(order.begin(), order.end(),
              [](const std::pair<double, std::size_t>& x, const std::pair<double, std::size_t>& y) {
                  return x.first > y.first;
              });
    std::vector<double> sortedA(n);
    std::vector<double> sortedB(n);
    for (std::size_t i = 0; i < n; ++i) {
        sortedA[i] = a[order[i].second];
        sortedB[i] = b[order[i].second];
    }
    std::vector<Complex> sortedOut(n);
    const TransformWork done =
        runKernel(model, sortedA.data(), sortedB.data(), n, sortedOut.data(), entry, threads);
    for (std::size_t i = 0; i < n; ++i) out[order[i].second] = sortedOut[i];
    return done;
}

void evaluateTransformBatch(const TransformModel& model, const double* a, const double* b,
                            std::size_t n, Complex* out, TransformEngine engine) {
    if (engine == TransformEngine::Scalar) {
        evaluatePortable(model, a, b, n, out);
        return;
    }
    evaluateTransformPoints(model, a, b, n, out, widestSimdLevel(),
                            engine == TransformEngine::FastOneThread ? 1 : 0);
}

void evaluateAtMoments(const TransformModel& model, const std::vector<double>& timeGrid,
                       std::size_t first, std::size_t last, const std::vector<double>& nodesRe,
                       const std::vector<double>& nodesIm, std::vector<Complex>& out,
                       TransformEngine engine) {
    const std::size_t nodes = nodesRe.size();
    const std::size_t points = (last - first) * nodes;
    std::vector<double> a(points);
    std::vector<double> b(points);
    out.resize(points);
    for (std::size_t n = first; n < last; ++n) {
        const double t = timeGrid[n];
        for (std::size_t k = 0; k < nodes; ++k) {
            a[(n - first) * nodes + k] = nodesRe[k] / t;
            b[(n - first) * nodes + k] = nodesIm[k] / t;
        }
    }
    evaluateTransformBatch(model, a.data(), b.data(), points, out.data(), engine);
}

}  // namespace queuecalc
