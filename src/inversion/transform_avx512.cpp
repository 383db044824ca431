// The AVX-512 kernel of the fast transform evaluation: 8 points per vector
// (AVX-512F without FMA). The kernel is transform_kernel.h; this file only
// wraps the instruction set's vectors and lane masks.

#include "inversion/transform_simd.h"

#if QUEUECALC_X86_KERNELS

#include <immintrin.h>

QUEUECALC_TARGET_BEGIN("avx512f")

#include "inversion/transform_kernel.h"

namespace queuecalc {
namespace {

struct Avx512 {
    typedef __m512d reg;
    typedef __mmask8 mask;  // one bit per lane
    static const int lanes = 8;
    static reg load(const double* p) { return _mm512_load_pd(p); }
    static void store(double* p, reg x) { _mm512_store_pd(p, x); }
    static reg broadcast(double x) { return _mm512_set1_pd(x); }
    static reg zero() { return _mm512_setzero_pd(); }
    static reg add(reg x, reg y) { return _mm512_add_pd(x, y); }
    static reg sub(reg x, reg y) { return _mm512_sub_pd(x, y); }
    static reg mul(reg x, reg y) { return _mm512_mul_pd(x, y); }
    static reg div(reg x, reg y) { return _mm512_div_pd(x, y); }
    // -x and |x|: the sign bit only, as the scalar negation and fabs.
    static reg neg(reg x) {
        return _mm512_castsi512_pd(
            _mm512_xor_si512(_mm512_castpd_si512(x), _mm512_castpd_si512(_mm512_set1_pd(-0.0))));
    }
    static reg abs(reg x) { return _mm512_abs_pd(x); }
    // The smaller and the larger of two numbers (written with blends: GCC's
    // _mm512_min_pd trips its own uninitialised-value warning).
    static reg min(reg x, reg y) {
        return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(x, y, _CMP_LT_OQ), y, x);
    }
    static reg max(reg x, reg y) {
        return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(y, x, _CMP_LT_OQ), y, x);
    }
    static mask less(reg x, reg y) { return _mm512_cmp_pd_mask(x, y, _CMP_LT_OQ); }
    static mask lessEqual(reg x, reg y) { return _mm512_cmp_pd_mask(x, y, _CMP_LE_OQ); }
    static mask equal(reg x, reg y) { return _mm512_cmp_pd_mask(x, y, _CMP_EQ_OQ); }
    static mask isNan(reg x) { return _mm512_cmp_pd_mask(x, x, _CMP_UNORD_Q); }
    static mask both(mask x, mask y) { return static_cast<mask>(x & y); }
    static mask either(mask x, mask y) { return static_cast<mask>(x | y); }
    static bool all(mask m) { return m == 0xFF; }
    static bool none(mask m) { return m == 0; }
    static reg keepWhere(mask m, reg x) { return _mm512_maskz_mov_pd(m, x); }
    static reg zeroWhere(mask m, reg x) { return _mm512_maskz_mov_pd(static_cast<mask>(~m), x); }
    static reg select(mask m, reg x, reg y) { return _mm512_mask_blend_pd(m, y, x); }
};

}  // namespace

std::uint64_t simd_kernels::evaluateAvx512(const TransformModel& model, const double* a,
                                           const double* b, std::size_t n, Complex* out) {
    return transform_kernel::evaluatePoints<Avx512>(model, a, b, n, out);
}

}  // namespace queuecalc

QUEUECALC_TARGET_END

#endif
