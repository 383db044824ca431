// Many transform values at once: the scalar reference one point after
// another, or the fast path, which evaluates one point per SIMD lane with the
// widest instruction set the processor has (chosen at run time) and shares
// the points out among the processor's cores. Each point is computed by
// exactly the operations of waitingTimeTransform, whichever lane, kernel or
// thread computes it, so the fast path gives the same bits as the reference.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

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

typedef void (*Kernel)(const TransformModel&, const double*, const double*, std::size_t, Complex*);

void evaluatePortable(const TransformModel& model, const double* a, const double* b, std::size_t n,
                      Complex* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = waitingTimeTransform(model, a[i], b[i]);
}

Kernel kernelFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::Sse2: return simd_kernels::evaluateSse2;
        case SimdLevel::Avx2: return simd_kernels::evaluateAvx2;
        case SimdLevel::Avx512: return simd_kernels::evaluateAvx512;
        case SimdLevel::Portable: break;
    }
    return evaluatePortable;
}

std::size_t blockWidthFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::Sse2: return simd_kernels::blockWidthSse2();
        case SimdLevel::Avx2: return simd_kernels::blockWidthAvx2();
        case SimdLevel::Avx512: return simd_kernels::blockWidthAvx512();
        case SimdLevel::Portable: break;
    }
    return 1;
}

// Whether the processor and the operating system support the level (the
// compiler's feature test also checks that the system saves the wide
// registers).
bool processorHas(SimdLevel level) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    switch (level) {
        case SimdLevel::Sse2: return __builtin_cpu_supports("sse2");
        case SimdLevel::Avx2: return __builtin_cpu_supports("avx2");
        case SimdLevel::Avx512: return __builtin_cpu_supports("avx512f");
        case SimdLevel::Portable: break;
    }
    return true;
#else
    return level == SimdLevel::Portable;
#endif
}

SimdLevel findWidestLevel() {
    const SimdLevel preferred[] = {SimdLevel::Avx512, SimdLevel::Avx2, SimdLevel::Sse2};
    for (SimdLevel level : preferred)
        if (simdLevelAvailable(level)) return level;
    return SimdLevel::Portable;
}

}  // namespace

const char* simdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Sse2: return "SSE2";
        case SimdLevel::Avx2: return "AVX2";
        case SimdLevel::Avx512: return "AVX-512";
        case SimdLevel::Portable: break;
    }
    return "portable";
}

bool simdLevelAvailable(SimdLevel level) {
    if (level == SimdLevel::Portable) return true;
    return blockWidthFor(level) > 0 && processorHas(level);
}

SimdLevel widestSimdLevel() {
    static const SimdLevel widest = findWidestLevel();
    return widest;
}

// The points are cut into blocks of the kernel's width; threads claim runs of
// blocks from a shared counter until none is left. Every point costs the
// same r(r + 1)/2 step factors, so the size of the work is known in advance.
void evaluateTransformPoints(const TransformModel& model, const double* a, const double* b,
                             std::size_t n, Complex* out, SimdLevel level, unsigned threads) {
    const Kernel kernel = kernelFor(level);
    const std::size_t width = blockWidthFor(level);
    const std::size_t blocks = (n + width - 1) / width;
    const double r = model.waitingPlaces;
    const double stepsPerPoint = r * (r + 1) / 2 + 1;
    const double work = static_cast<double>(n) * stepsPerPoint;

    std::size_t want = threads;
    if (want == 0) {
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        const double affordable = work / kStepFactorsPerThread;
        want =
            affordable >= static_cast<double>(cores) ? cores : static_cast<std::size_t>(affordable);
    }
    want = std::min(want, blocks);
    if (want <= 1) {
        kernel(model, a, b, n, out);
        return;
    }

    const double perClaim = kStepFactorsPerClaim / (static_cast<double>(width) * stepsPerPoint);
    const std::size_t claim =
        std::max<std::size_t>(1, std::min(static_cast<std::size_t>(perClaim), blocks / (4 * want)));
    std::atomic<std::size_t> nextBlock(0);
    const auto worker = [&]() {
        for (;;) {
            const std::size_t first = nextBlock.fetch_add(claim);
            if (first >= blocks) return;
            const std::size_t begin = first * width;
            const std::size_t end = std::min(n, (first + claim) * width);
            kernel(model, a + begin, b + begin, end - begin, out + begin);
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(want - 1);
    for (std::size_t i = 1; i < want; ++i) {
        try {
            helpers.emplace_back(worker);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the others take the rest
        }
    }
    worker();
    for (std::thread& helper : helpers) helper.join();
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
