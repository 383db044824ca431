#pragma once
// The waiting-time transform for several points at once, one point per SIMD
// lane. Included only by the instruction-set files transform_sse2.cpp,
// transform_avx2.cpp and transform_avx512.cpp, after each has switched the
// compiler to its instruction set; V wraps that set's vector of doubles.
//
// Every lane runs exactly the operations of waitingTimeTransform, in the same
// order and form: the step rate c is broadcast to all lanes, then
//   t = a + c, d = t * t + b2, u = (c * t) / d, v = -((c * b) / d),
//   pRe' = pRe * u - pIm * v, pIm' = pIm * u + pRe * v,
//   sumRe = sumRe + w * pRe, sumIm = sumIm + w * pIm,
// and the final division by z through the conjugate. Vector add, subtract,
// multiply and divide round each lane exactly as the scalar instructions do,
// and negation flips the sign bit as the scalar code does, so every lane
// holds the bits of the scalar evaluation. Nothing may be fused or reordered:
// the files are compiled with -ffp-contract=off and without FMA. (Only a NaN
// may differ in sign or payload, when both operands of an operation are NaNs
// and the compiler has ordered them differently; it is a NaN either way, and
// the results file spells every NaN alike.)
//
// G independent groups of lanes can share each broadcast step rate, to give
// the divider more independent divisions while the products of the previous
// step are formed; each kernel file gives the G it measured best.

#include <cstddef>

#include "inversion/transform.h"

namespace queuecalc {
namespace transform_kernel {

// Points [0, n): full blocks of V::lanes * G points straight from the arrays,
// a last partial block through a padded copy (the padding repeats the last
// point, a valid one, and its values are dropped).
template <class V, int G>
void evaluatePoints(const TransformModel& model, const double* a, const double* b, std::size_t n,
                    Complex* out) {
    typedef typename V::reg reg;
    const int L = V::lanes;
    const std::size_t W = static_cast<std::size_t>(L) * G;
    const QueuePositionTables& tables = *model.tables;
    const double* weight = model.positionWeight.data();
    const int r = model.waitingPlaces;

    for (std::size_t first = 0; first < n; first += W) {
        const std::size_t count = n - first < W ? n - first : W;
        alignas(64) double blockA[V::lanes * G];
        alignas(64) double blockB[V::lanes * G];
        for (std::size_t i = 0; i < W; ++i) {
            const std::size_t src = first + (i < count ? i : count - 1);
            blockA[i] = a[src];
            blockB[i] = b[src];
        }

        reg A[G], B[G], B2[G], sumRe[G], sumIm[G];
        for (int g = 0; g < G; ++g) {
            A[g] = V::load(blockA + g * L);
            B[g] = V::load(blockB + g * L);
            B2[g] = V::mul(B[g], B[g]);
            sumRe[g] = V::zero();
            sumIm[g] = V::zero();
        }

        for (int k = 1; k <= r; ++k) {
            const double* rate = tables.rateRow(k);
            reg pRe[G], pIm[G];
            {
                const reg c = V::broadcast(rate[0]);
                for (int g = 0; g < G; ++g) {
                    const reg t = V::add(A[g], c);
                    const reg d = V::add(V::mul(t, t), B2[g]);
                    pRe[g] = V::div(V::mul(c, t), d);
                    pIm[g] = V::neg(V::div(V::mul(c, B[g]), d));
                }
            }
            for (int j = 1; j < k; ++j) {
                const reg c = V::broadcast(rate[j]);
                for (int g = 0; g < G; ++g) {
                    const reg t = V::add(A[g], c);
                    const reg d = V::add(V::mul(t, t), B2[g]);
                    const reg u = V::div(V::mul(c, t), d);
                    const reg v = V::neg(V::div(V::mul(c, B[g]), d));
                    const reg re = V::sub(V::mul(pRe[g], u), V::mul(pIm[g], v));
                    const reg im = V::add(V::mul(pIm[g], u), V::mul(pRe[g], v));
                    pRe[g] = re;
                    pIm[g] = im;
                }
            }
            const reg w = V::broadcast(weight[k]);
            for (int g = 0; g < G; ++g) {
                sumRe[g] = V::add(sumRe[g], V::mul(w, pRe[g]));
                sumIm[g] = V::add(sumIm[g], V::mul(w, pIm[g]));
            }
        }

        alignas(64) double resultRe[V::lanes * G];
        alignas(64) double resultIm[V::lanes * G];
        for (int g = 0; g < G; ++g) {
            const reg q = V::add(V::mul(A[g], A[g]), B2[g]);
            V::store(resultRe + g * L,
                     V::div(V::add(V::mul(sumRe[g], A[g]), V::mul(sumIm[g], B[g])), q));
            V::store(resultIm + g * L,
                     V::div(V::sub(V::mul(sumIm[g], A[g]), V::mul(sumRe[g], B[g])), q));
        }
        for (std::size_t i = 0; i < count; ++i) out[first + i] = Complex{resultRe[i], resultIm[i]};
    }
}

}  // namespace transform_kernel
}  // namespace queuecalc
