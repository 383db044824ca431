// The AVX2 kernel of the fast transform evaluation: 4 points per vector
// (AVX2 without FMA). The kernel is transform_kernel.h; this file only wraps
// the instruction set's vectors and lane masks.

#include "inversion/transform_simd.h"

#if QUEUECALC_X86_KERNELS

#include <immintrin.h>

QUEUECALC_TARGET_BEGIN("avx2")

#include "inversion/transform_kernel.h"

namespace queuecalc {
namespace {

struct Avx2 {
    typedef __m256d reg;
    typedef __m256d mask;  // all ones in a lane that holds
    static const int lanes = 4;
    static reg load(const double* p) { return _mm256_load_pd(p); }
    static void store(double* p, reg x) { _mm256_store_pd(p, x); }
    static reg broadcast(double x) { return _mm256_set1_pd(x); }
    static reg zero() { return _mm256_setzero_pd(); }
    static reg add(reg x, reg y) { return _mm256_add_pd(x, y); }
    static reg sub(reg x, reg y) { return _mm256_sub_pd(x, y); }
    static reg mul(reg x, reg y) { return _mm256_mul_pd(x, y); }
    static reg div(reg x, reg y) { return _mm256_div_pd(x, y); }
    // -x and |x|: the sign bit only, as the scalar negation and fabs.
    static reg neg(reg x) { return _mm256_xor_pd(x, _mm256_set1_pd(-0.0)); }
    static reg abs(reg x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }
    static reg min(reg x, reg y) { return _mm256_min_pd(x, y); }
    static reg max(reg x, reg y) { return _mm256_max_pd(x, y); }
    static mask less(reg x, reg y) { return _mm256_cmp_pd(x, y, _CMP_LT_OQ); }
    static mask lessEqual(reg x, reg y) { return _mm256_cmp_pd(x, y, _CMP_LE_OQ); }
    static mask equal(reg x, reg y) { return _mm256_cmp_pd(x, y, _CMP_EQ_OQ); }
    static mask isNan(reg x) { return _mm256_cmp_pd(x, x, _CMP_UNORD_Q); }
    static mask both(mask x, mask y) { return _mm256_and_pd(x, y); }
    static mask either(mask x, mask y) { return _mm256_or_pd(x, y); }
    static bool all(mask m) { return _mm256_movemask_pd(m) == 0xF; }
    static bool none(mask m) { return _mm256_movemask_pd(m) == 0; }
    static reg keepWhere(mask m, reg x) { return _mm256_and_pd(m, x); }
    static reg zeroWhere(mask m, reg x) { return _mm256_andnot_pd(m, x); }
    static reg select(mask m, reg x, reg y) { return _mm256_blendv_pd(y, x, m); }
};

}  // namespace

std::uint64_t simd_kernels::evaluateAvx2(const TransformModel& model, const double* a,
                                         const double* b, std::size_t n, Complex* out) {
    return transform_kernel::evaluatePoints<Avx2>(model, a, b, n, out);
}

}  // namespace queuecalc

QUEUECALC_TARGET_END

#endif
