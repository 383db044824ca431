// The AVX-512 kernel of the fast transform evaluation: 8 points per vector
// (AVX-512F without FMA).
// Only the code between the two target switches below, the kernel template
// of transform_kernel.h with its vector wrapper, is compiled for AVX-512.
// Every other header is included before the first switch, so that no inline
// function shared with the rest of the program can be emitted with AVX-512
// instructions. The kernel runs only where simdLevelAvailable has found it.

#include "inversion/transform_simd.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "inversion/transform_kernel.h"

namespace queuecalc {
namespace {

// Independent vectors per step rate (see transform_kernel.h). Measured with
// r = 20 to 1000: 1 is best or within 3 % of the best; the processor's
// reordering already overlaps the divisions of successive steps.
const int kGroupsAvx512 = 1;

struct Avx512 {
    typedef __m512d reg;
    static const int lanes = 8;
    static reg load(const double* p) { return _mm512_load_pd(p); }
    static void store(double* p, reg x) { _mm512_store_pd(p, x); }
    static reg broadcast(double x) { return _mm512_set1_pd(x); }
    static reg zero() { return _mm512_setzero_pd(); }
    static reg add(reg x, reg y) { return _mm512_add_pd(x, y); }
    static reg sub(reg x, reg y) { return _mm512_sub_pd(x, y); }
    static reg mul(reg x, reg y) { return _mm512_mul_pd(x, y); }
    static reg div(reg x, reg y) { return _mm512_div_pd(x, y); }
    // -x: flips the sign bit only, as the scalar negation does.
    static reg neg(reg x) {
        return _mm512_castsi512_pd(
            _mm512_xor_si512(_mm512_castpd_si512(x), _mm512_castpd_si512(_mm512_set1_pd(-0.0))));
    }
};

}  // namespace

void simd_kernels::evaluateAvx512(const TransformModel& model, const double* a, const double* b,
                                  std::size_t n, Complex* out) {
    transform_kernel::evaluatePoints<Avx512, kGroupsAvx512>(model, a, b, n, out);
}

}  // namespace queuecalc

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace queuecalc {
std::size_t simd_kernels::blockWidthAvx512() { return 8 * kGroupsAvx512; }
}  // namespace queuecalc

#else  // no x86 kernels in this build

namespace queuecalc {
void simd_kernels::evaluateAvx512(const TransformModel& model, const double* a, const double* b,
                                  std::size_t n, Complex* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = waitingTimeTransform(model, a[i], b[i]);
}
std::size_t simd_kernels::blockWidthAvx512() { return 0; }
}  // namespace queuecalc

#endif
