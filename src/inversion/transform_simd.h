#pragma once
// The fast evaluation of many transform points: the instruction sets it can
// use, and an entry point that names one explicitly, so that every path can
// be checked against the scalar reference on any processor that has it.

#include <cstddef>
#include <cstdint>

#include "inversion/transform.h"

namespace queuecalc {

enum class SimdLevel {
    Portable,  // one point after another with waitingTimeTransform
    Sse2,      // 2 points per instruction
    Avx2,      // 4 points per instruction
    Avx512,    // 8 points per instruction
};

const char* simdLevelName(SimdLevel level);

// True when this build has the level's kernel and this processor (and its
// operating system) can run it. Portable is always available.
bool simdLevelAvailable(SimdLevel level);

// The widest available level: the one TransformEngine::Fast uses.
SimdLevel widestSimdLevel();

// Step factors computed by one evaluation, counted per vector (one step
// factor for all lanes of one vector; for Portable, per point), against the
// r(r+1)/2 per vector of doing every step.
struct TransformWork {
    std::uint64_t stepsDone = 0;
    std::uint64_t stepsInFull = 0;
};

// out[i] = G(a[i] + i b[i]) for i = 0 .. n-1 with the kernel of `level`,
// bit for bit equal to waitingTimeTransform at every point. The points are
// shared out among up to `threads` threads; 0 lets the size of the work and
// the number of processors decide. Neither the level nor the thread count
// changes any result. `level` must be available.
TransformWork evaluateTransformPoints(const TransformModel& model, const double* a,
                                      const double* b, std::size_t n, Complex* out,
                                      SimdLevel level, unsigned threads);

// The SIMD kernels exist in builds for x86 with GCC or clang. Each
// instruction-set file compiles transform_kernel.h between
// QUEUECALC_TARGET_BEGIN("its set") and QUEUECALC_TARGET_END, after every
// other header, so that no inline function shared with the rest of the
// program is emitted with instructions an older processor lacks.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QUEUECALC_X86_KERNELS 1
#define QUEUECALC_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define QUEUECALC_TARGET_BEGIN(isa) \
    QUEUECALC_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define QUEUECALC_TARGET_END QUEUECALC_PRAGMA(clang attribute pop)
#else
#define QUEUECALC_TARGET_BEGIN(isa) QUEUECALC_PRAGMA(GCC push_options) QUEUECALC_PRAGMA(GCC target(isa))
#define QUEUECALC_TARGET_END QUEUECALC_PRAGMA(GCC pop_options)
#endif

namespace simd_kernels {
// One thread, points [0, n); return the vector steps done. Each is defined in
// its own file, compiled for its instruction set; callers check
// simdLevelAvailable first.
std::uint64_t evaluateSse2(const TransformModel& model, const double* a, const double* b,
                           std::size_t n, Complex* out);
std::uint64_t evaluateAvx2(const TransformModel& model, const double* a, const double* b,
                           std::size_t n, Complex* out);
std::uint64_t evaluateAvx512(const TransformModel& model, const double* a, const double* b,
                             std::size_t n, Complex* out);
}  // namespace simd_kernels
#else
#define QUEUECALC_X86_KERNELS 0
#endif

}  // namespace queuecalc
