// The AVX2 kernel of the fast transform evaluation: 4 points per vector
// (AVX2 without FMA).
// Only the code between the two target switches below, the kernel template
// of transform_kernel.h with its vector wrapper, is compiled for AVX2.
// Every other header is included before the first switch, so that no inline
// function shared with the rest of the program can be emitted with AVX2
// instructions. The kernel runs only where simdLevelAvailable has found it.

#include "inversion/transform_simd.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "inversion/transform_kernel.h"

namespace queuecalc {
namespace {

// Independent vectors per step rate (see transform_kernel.h). Measured with
// r = 20 to 1000: 1 is best or within 3 % of the best; the processor's
// reordering already overlaps the divisions of successive steps.
const int kGroupsAvx2 = 1;

struct Avx2 {
    typedef __m256d reg;
    static const int lanes = 4;
    static reg load(const double* p) { return _mm256_load_pd(p); }
    static void store(double* p, reg x) { _mm256_store_pd(p, x); }
    static reg broadcast(double x) { return _mm256_set1_pd(x); }
    static reg zero() { return _mm256_setzero_pd(); }
    static reg add(reg x, reg y) { return _mm256_add_pd(x, y); }
    static reg sub(reg x, reg y) { return _mm256_sub_pd(x, y); }
    static reg mul(reg x, reg y) { return _mm256_mul_pd(x, y); }
    static reg div(reg x, reg y) { return _mm256_div_pd(x, y); }
    // -x: flips the sign bit only, as the scalar negation does.
    static reg neg(reg x) { return _mm256_xor_pd(x, _mm256_set1_pd(-0.0)); }
};

}  // namespace

void simd_kernels::evaluateAvx2(const TransformModel& model, const double* a, const double* b,
                                std::size_t n, Complex* out) {
    transform_kernel::evaluatePoints<Avx2, kGroupsAvx2>(model, a, b, n, out);
}

}  // namespace queuecalc

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace queuecalc {
std::size_t simd_kernels::blockWidthAvx2() { return 4 * kGroupsAvx2; }
}  // namespace queuecalc

#else  // no x86 kernels in this build

namespace queuecalc {
void simd_kernels::evaluateAvx2(const TransformModel& model, const double* a, const double* b,
                                std::size_t n, Complex* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = waitingTimeTransform(model, a[i], b[i]);
}
std::size_t simd_kernels::blockWidthAvx2() { return 0; }
}  // namespace queuecalc

#endif
