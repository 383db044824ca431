#pragma once
// The fast evaluation of many transform points: the instruction sets it can
// use, and entry points that name one explicitly, so that every path can be
// checked against the scalar reference on any processor that has it.

#include <cstddef>

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

// out[i] = G(a[i] + i b[i]) for i = 0 .. n-1 with the kernel of `level`,
// bit for bit equal to waitingTimeTransform at every point. The points are
// shared out among up to `threads` threads; 0 lets the size of the work and
// the number of processors decide. Neither the level nor the thread count
// changes any result. `level` must be available.
void evaluateTransformPoints(const TransformModel& model, const double* a, const double* b,
                             std::size_t n, Complex* out, SimdLevel level, unsigned threads);

namespace simd_kernels {
// One thread, points [0, n). Each is defined in its own file, compiled for
// its instruction set; callers check simdLevelAvailable first.
void evaluateSse2(const TransformModel& model, const double* a, const double* b, std::size_t n,
                  Complex* out);
void evaluateAvx2(const TransformModel& model, const double* a, const double* b, std::size_t n,
                  Complex* out);
void evaluateAvx512(const TransformModel& model, const double* a, const double* b, std::size_t n,
                    Complex* out);
// Points per block of each kernel (a range that starts on a multiple of it
// is evaluated without padding); 0 when the kernel is not in this build.
std::size_t blockWidthSse2();
std::size_t blockWidthAvx2();
std::size_t blockWidthAvx512();
}  // namespace simd_kernels

}  // namespace queuecalc
