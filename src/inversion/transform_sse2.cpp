// The SSE2 kernel of the fast transform evaluation: 2 points per vector
// (SSE2 is part of every x86-64 processor). The kernel is transform_kernel.h;
// this file only wraps the instruction set's vectors and lane masks.

#include "inversion/transform_simd.h"

#if QUEUECALC_X86_KERNELS

#include <immintrin.h>

QUEUECALC_TARGET_BEGIN("sse2")

#include "inversion/transform_kernel.h"

namespace queuecalc {
namespace {

struct Sse2 {
    typedef __m128d reg;
    typedef __m128d mask;  // all ones in a lane that holds
    static const int lanes = 2;
    static reg load(const double* p) { return _mm_load_pd(p); }
    static void store(double* p, reg x) { _mm_store_pd(p, x); }
    static reg broadcast(double x) { return _mm_set1_pd(x); }
    static reg zero() { return _mm_setzero_pd(); }
    static reg add(reg x, reg y) { return _mm_add_pd(x, y); }
    static reg sub(reg x, reg y) { return _mm_sub_pd(x, y); }
    static reg mul(reg x, reg y) { return _mm_mul_pd(x, y); }
    static reg div(reg x, reg y) { return _mm_div_pd(x, y); }
    // -x and |x|: the sign bit only, as the scalar negation and fabs.
    static reg neg(reg x) { return _mm_xor_pd(x, _mm_set1_pd(-0.0)); }
    static reg abs(reg x) { return _mm_andnot_pd(_mm_set1_pd(-0.0), x); }
    static reg min(reg x, reg y) { return _mm_min_pd(x, y); }
    static reg max(reg x, reg y) { return _mm_max_pd(x, y); }
    static mask less(reg x, reg y) { return _mm_cmplt_pd(x, y); }
    static mask lessEqual(reg x, reg y) { return _mm_cmple_pd(x, y); }
    static mask equal(reg x, reg y) { return _mm_cmpeq_pd(x, y); }
    static mask isNan(reg x) { return _mm_cmpunord_pd(x, x); }
    static mask both(mask x, mask y) { return _mm_and_pd(x, y); }
    static mask either(mask x, mask y) { return _mm_or_pd(x, y); }
    static bool all(mask m) { return _mm_movemask_pd(m) == 0x3; }
    static bool none(mask m) { return _mm_movemask_pd(m) == 0; }
    static reg keepWhere(mask m, reg x) { return _mm_and_pd(m, x); }
    static reg zeroWhere(mask m, reg x) { return _mm_andnot_pd(m, x); }
    static reg select(mask m, reg x, reg y) {
        return _mm_or_pd(_mm_and_pd(m, x), _mm_andnot_pd(m, y));
    }
};

}  // namespace

std::uint64_t simd_kernels::evaluateSse2(const TransformModel& model, const double* a,
                                         const double* b, std::size_t n, Complex* out) {
    return transform_kernel::evaluatePoints<Sse2>(model, a, b, n, out);
}

}  // namespace queuecalc

QUEUECALC_TARGET_END

#endif
