#pragma once
// The waiting-time transform for several points at once, one point per SIMD
// lane: the one kernel of the fast path. Included only by the instruction-set
// files transform_sse2.cpp, transform_avx2.cpp and transform_avx512.cpp, after
// each has switched the compiler to its instruction set; V wraps that set's
// vector of doubles and of lane masks.
//
// Same operations as the scalar reference
// ---------------------------------------
// Every lane runs exactly the operations of waitingTimeTransform, in the same
// order and form: the step rate c is broadcast to all lanes, then
//   t = a + c, d = t * t + b2, u = (c * t) / d, v = -((c * b) / d),
//   pRe' = pRe * u - pIm * v, pIm' = pIm * u + pRe * v,
//   sumRe = sumRe + w * pRe, sumIm = sumIm + w * pIm,
// and the final division by z through the conjugate. Vector add, subtract,
// multiply and divide round each lane exactly as the scalar instructions do,
// and negation flips the sign bit as the scalar code does. Nothing may be
// fused or reordered: the files are compiled with -ffp-contract=off and
// without FMA. (Only a NaN may differ in sign or payload, when both operands
// of an operation are NaNs and the compiler has ordered them differently; it
// is a NaN either way, and the results file spells every NaN alike.)
//
// Work that cannot change a bit
// -----------------------------
// Row k adds x = w_k * p_k to each part of the running sum s, where p_k is the
// product of the row's k step factors. The kernel leaves out the rest of a
// row, or the whole row, when x cannot change s. Then every lane's sums are
// the reference's bits after that row, so every later row starts from the
// same sums and the argument repeats row after row. The rule, per lane:
//
// 1. Absorption. Let s be a finite double with |s| >= 2^-960 and g half the
//    distance from |s| to the next double towards zero (for a power of two
//    that is a quarter of the spacing above it; otherwise it equals half
//    the spacing on both sides). If |x| < g, then s + x rounds to s under
//    round-to-nearest: s + x lies nearer to s than to either neighbour.
//    g is computed exactly: |s| * (1 - 2^-53) rounds to the predecessor of
//    |s| (the exact product lies less than half a spacing above it and more
//    than half below |s|), the difference is exact (Sterbenz) and halving a
//    double of at least 2^-1013 is exact (g >= 2^-1014).
//    For b = 0 the imaginary parts are zeros instead: v = -(c * 0 / d) is a
//    zero, so are pIm and w * pIm, and s + (+-0) = s for every finite s but
//    -0; s is never -0 (it starts at +0 and a sum of two doubles is -0 only
//    when both are). So the imaginary part of a b = 0 lane never limits.
//
// 2. Growth and decay. For c > 0 and a >= 0 the factor's squared modulus
//    c^2 / ((a + c)^2 + b^2) = 1 / ((1 + a/c)^2 + (b/c)^2) is at most 1 and
//    rises with c (a/c and b/c shrink in size as c grows), so over rates in
//    [lo, hi] it is at most rho^2, its value at hi. For a < 0,
//    c^2 / ((a + c)^2 + b^2) rises up to c* = (a^2 + b^2) / |a|, where it is
//    1 + a^2 / b^2, and falls after it. So over rates in [lo, hi] the squared
//    modulus is at most rho^2 = 1 + a^2 / b^2 if c* lies in [lo, hi], else
//    the larger of its values at lo and hi. [lo, hi] holds the rates of the
//    factors still to come: [rowRateLow[k], rowRateHigh[k]] for the whole
//    row, or, in a row whose rates never rise (rowRatesFall[k]), the last
//    rate and the next one. The kernel takes the peak whenever the computed
//    c* lies in [lo (1 - 2^-40), hi (1 + 2^-40)], wider than c*'s rounding
//    error, so an endpoint is used only when c* is truly outside. It
//    multiplies the computed rho^2 by 1 + 2^-40, more than its rounding
//    (at most 7u, u = 2^-53, from a rate, a point and b^2 in the ranges of
//    3.) and than the rounding of one multiplication of the power below
//    (u) together; then, where a >= 0, it takes the least of that and 1
//    (the true rho^2 is at most 1) and the largest of that and 2^-400,
//    where a < 0 the largest of that and 1. Every raise only loosens the
//    bound. The n factors left multiply |p| by at most rho^n <= Gamma
//    (before rounding), with
//        Gamma = (rho^2)^floor(n/2)                  where a >= 0 (rho <= 1),
//        Gamma = (rho^2)^floor(n/2) (rho^2 if n odd) where a < 0 (rho >= 1),
//    formed by repeated squaring, each product raised to at least 2^-400.
//    A computed power of rho^2 with f factors carries at most f - 1
//    roundings of u, which the f margins 1 + 2^-40 (less rho^2's own
//    rounding) outweigh; products of numbers at least the true powers they
//    stand for stay at least the true product, and a raise keeps that. So
//    the computed Gamma >= rho^n. The floor 2^-400 keeps every
//    multiplication of the power out of the subnormal range (products of
//    two numbers >= 2^-400 are >= 2^-800); decay below 2^-400 is never
//    needed, as the sums' gaps are at least 2^-1014 and weights and products
//    below 2^1000.
//
// 3. Rounding. With |a|, |b| <= 2^500, b = 0 or |b| >= 2^-500 (and a >= 0 if
//    b = 0), and every rate of the row in [2^-500, 2^500], no operation of a
//    step overflows, and d >= 2^-1000 is formed with relative error at most
//    3u. The products cannot overflow either: the test below asks
//    m max(1, Gamma) <= 2^1000, so every later product stays below 2^1001.
//    Each computed factor (u, v) then has modulus at most
//    |c / (z + c)| (1 + 6u) + 2^-1073, and one product step gives
//    |p'| <= |p| |(u, v)| (1 + 3u) + 2^-1072 (relative errors of the four
//    products and the sum, at most 2^-1075 each when a result is subnormal).
//    With 2., over the n < 2^28 steps left in a row (rows of 2^28 rates or
//    more are always evaluated in full, see kLongestBoundedRow), the final
//    product obeys
//      |p_k| <= Gamma |p_j| (1 + 10u)^n + max(1, Gamma) (1 + 10u)^n n 2^-1072
//            <= Gamma |p_j| (1 + 2^-21) + max(1, Gamma) 2^-1040,
//    where p_j is the product now (p_0 = 1 before the first factor); each
//    step's absolute error is carried on by the factors after it, at most
//    Gamma in all where a < 0 and at most 1 where a >= 0. Each part of w p_k
//    is then at most |w| |p_k| (1 + u) + 2^-1075.
//
// 4. The test. With W = rowWeightBound[k] = |w| (1 + 2^-20) rounded,
//    WG = W * Gamma and m = |pRe| + |pIm| >= |p_j|, both rounded, and
//    T = min(g(sumRe), g(sumIm)) (a power of two, or 0), the lane may end
//    its row when
//        Q = m * WG  <  T (1 - 2^-40),   max(W, WG) <= T 2^998,
//        m max(1, Gamma) <= 2^1000.
//    (1 + 2^-20) covers (1 + 2^-21)(1 + u) and the roundings of m, WG and Q
//    (the computed Gamma is at least rho^n, see 2.), so
//    |w| Gamma |p_j| (1 + 2^-21)(1 + u) <= Q + 2^-1075 (the term for a Q in
//    the subnormal range). The second condition makes the absolute terms
//    small: |w| max(1, Gamma) 2^-1040 (1 + u) <= max(W, WG) 2^-1040
//    <= T 2^-42. Together
//    |x| <= Q + T 2^-42 + 2^-1074 < T (1 - 2^-40 + 2^-42) + 2^-1074 < T,
//    as T >= 2^-1014. So |x| < g for both parts, and by 1. the sums keep
//    their bits. T is 0 (never true) while a sum is zero, tiny, infinite or
//    NaN, and for lanes or rows outside the conditions of 3.; WG is inf or
//    NaN (never true) for a weight that is not finite or a growth beyond
//    the range of doubles. No term of the test is formed from an absolute
//    floor, so a lane whose product was set to zero (below) multiplies
//    zeros, never subnormal numbers.
//
// 5. Lost lanes. A lane whose two sums are both NaN keeps NaN sums whatever
//    is added, and its value is NaN in both parts; it passes every test,
//    in rows of every kind. (Only the NaN's sign or payload could differ
//    from the reference's, as said above.)
//
// The vector ends a row only when every lane passes; then no lane adds
// anything, and each lane's sums are what the reference has after the row.
// A lane that passed while others go on has its product set to zero: the
// rest of its row then adds w * (+-0) = +-0, which by 1. leaves its sums
// alone as well, and its products stay clear of the subnormal range (whose
// multiplications cost a microcode assist on some processors). A row that
// runs to its end adds w * p in every lane as the reference does.
//
// The check costs a few operations; it runs once per row (before the first
// factor, where |p_0| = 1) and then every kStepsPerCheck steps.

#include <cstddef>
#include <cstdint>
#include <limits>

#include "inversion/transform.h"

namespace queuecalc {
namespace transform_kernel {

// Steps between two checks: often enough to end a row close to where its
// contribution fades, rarely enough that checking costs little beside the
// divisions (a check may form a growth or decay bound: a division and a
// power). Measured (processor time of the whole program, AVX2 kernel, AMD
// EPYC family 25, 2 cores) against 16, 32, 96 and 128: 64 is best or within
// 3 % on examples/large, examples/lognormal and examples/overloaded (16 cost
// 10 to 15 % more on the overloaded example; checking every 16 steps with
// the decay bound only at every 2nd, 4th or 8th check did not help).
const int kStepsPerCheck = 64;

const double kSmallestSkippableSum = 0x1p-960;  // g(s) >= 2^-1014, see 1.
const double kPredecessorFactor = 1 - 0x1p-53;  // |s| * this = predecessor of |s|
const double kLimitMargin = 1 - 0x1p-40;        // Q < T (1 - 2^-40), see 4.
const double kWeightCapScale = 0x1p998;         // WG <= T 2^998, see 4.
const double kLargestProduct = 0x1p1000;        // m Gamma <= 2^1000, see 3.
const double kPeakWindowLow = 1 - 0x1p-40;      // c* near a row's rates, see 2.
const double kPeakWindowHigh = 1 + 0x1p-40;
const double kGrowthMargin = 1 + 0x1p-40;  // rounding of rho^2 and its power, see 2.
const int kLongestBoundedRow = (1 << 28) - 1;  // n < 2^28, see 3.
const double kSmallestPower = 0x1p-400;  // keeps Gamma's products normal, see 2.

// Half the distance from |s| to its predecessor when s is finite and
// |s| >= 2^-960, else 0 (item 1 above).
template <class V>
typename V::reg halfGap(typename V::reg s) {
    const typename V::reg size = V::abs(s);
    const typename V::reg gap =
        V::mul(V::sub(size, V::mul(size, V::broadcast(kPredecessorFactor))), V::broadcast(0.5));
    const typename V::mask usable =
        V::both(V::lessEqual(V::broadcast(kSmallestSkippableSum), size),
                V::lessEqual(size, V::broadcast(std::numeric_limits<double>::max())));
    return V::keepWhere(usable, gap);
}

// What a contribution must stay below in each lane: item 4's T for lanes
// that meet the conditions of 3., else 0.
template <class V>
typename V::reg absorptionLimit(typename V::reg sumRe, typename V::reg sumIm,
                                typename V::mask realLane, typename V::mask safeLane) {
    typedef typename V::reg reg;
    const reg inf = V::broadcast(std::numeric_limits<double>::infinity());
    const reg finiteIm = V::keepWhere(
        V::lessEqual(V::abs(sumIm), V::broadcast(std::numeric_limits<double>::max())), inf);
    const reg limitIm = V::select(realLane, finiteIm, halfGap<V>(sumIm));
    return V::keepWhere(safeLane, V::min(halfGap<V>(sumRe), limitIm));
}

// x^e for a whole e >= 1 and x >= 2^-400 by repeated squaring, in the lanes'
// arithmetic, every product raised to at least 2^-400 (item 2).
template <class V>
typename V::reg power(typename V::reg x, int e) {
    const typename V::reg floor = V::broadcast(kSmallestPower);
    typename V::reg result = x;
    typename V::reg square = x;
    for (e -= 1; e > 0; e >>= 1) {
        if (e & 1) result = V::max(V::mul(result, square), floor);
        if (e > 1) square = V::max(V::mul(square, square), floor);
    }
    return result;
}

// rho^2 of item 2 at one end of a row's rates: c^2 / ((a + c)^2 + b^2).
template <class V>
typename V::reg squaredFactor(typename V::reg A, typename V::reg B2, double rate) {
    const typename V::reg c = V::broadcast(rate);
    const typename V::reg t = V::add(A, c);
    return V::div(V::mul(c, c), V::add(V::mul(t, t), B2));
}

// The first step factor of a row, p = c / (z + c) written out on the parts.
template <class V>
void firstFactor(typename V::reg A, typename V::reg B, typename V::reg B2, double rate,
                 typename V::reg& pRe, typename V::reg& pIm) {
    const typename V::reg c = V::broadcast(rate);
    const typename V::reg t = V::add(A, c);
    const typename V::reg d = V::add(V::mul(t, t), B2);
    pRe = V::div(V::mul(c, t), d);
    pIm = V::neg(V::div(V::mul(c, B), d));
}

// p = p * c / (z + c), both new parts from the old ones.
template <class V>
void nextFactor(typename V::reg A, typename V::reg B, typename V::reg B2, double rate,
                typename V::reg& pRe, typename V::reg& pIm) {
    typedef typename V::reg reg;
    const reg c = V::broadcast(rate);
    const reg t = V::add(A, c);
    const reg d = V::add(V::mul(t, t), B2);
    const reg u = V::div(V::mul(c, t), d);
    const reg v = V::neg(V::div(V::mul(c, B), d));
    const reg re = V::sub(V::mul(pRe, u), V::mul(pIm, v));
    const reg im = V::add(V::mul(pIm, u), V::mul(pRe, v));
    pRe = re;
    pIm = im;
}

// The model's row tables as the kernel reads them. Step j of row k (0-based
// j) has the rate (C[k] - C[j]) + s mu, formed by the operations of
// QueuePositionTables::rate, as in the reference. (A template, as everything
// here, so that each instruction set's file keeps its own copy.)
template <class V>
struct RowTables {
    const double* cumulative;
    double service;
    const double* weight;
    int r;
    bool mayLeaveOut;  // the bounds of items 2. to 4. are there for every row
    const double* rateLow;
    const double* rateHigh;
    const unsigned char* ratesFall;
    const double* weightBound;
};

template <class V>
RowTables<V> rowTables(const TransformModel& model) {
    const QueuePositionTables& tables = *model.tables;
    RowTables<V> t;
    t.cumulative = tables.cumulativeAbandonRate.data();
    t.service = tables.fullService;
    t.weight = model.positionWeight.data();
    t.r = model.waitingPlaces;
    const std::size_t rows = static_cast<std::size_t>(t.r) + 1;
    t.mayLeaveOut = t.r <= kLongestBoundedRow && model.rowRateLow.size() == rows &&
                    model.rowRateHigh.size() == rows && model.rowRatesFall.size() == rows &&
                    model.rowWeightBound.size() == rows;
    t.rateLow = model.rowRateLow.data();
    t.rateHigh = model.rowRateHigh.data();
    t.ratesFall = model.rowRatesFall.data();
    t.weightBound = model.rowWeightBound.data();
    return t;
}

// Every row in full, every step, as the reference. Returns the steps done.
template <class V>
[[gnu::always_inline]] inline std::uint64_t sumAllRows(const RowTables<V>& t, typename V::reg A, typename V::reg B,
                                                       typename V::reg B2, typename V::reg& sumRe,
                                                       typename V::reg& sumIm) {
    typedef typename V::reg reg;
    const int r = t.r;
    for (int k = 1; k <= r; ++k) {
        const double top = t.cumulative[k];
        reg pRe, pIm;
        firstFactor<V>(A, B, B2, (top - t.cumulative[0]) + t.service, pRe, pIm);
        for (int j = 1; j < k; ++j)
            nextFactor<V>(A, B, B2, (top - t.cumulative[j]) + t.service, pRe, pIm);
        const reg w = V::broadcast(t.weight[k]);
        sumRe = V::add(sumRe, V::mul(w, pRe));
        sumIm = V::add(sumIm, V::mul(w, pIm));
    }
    return static_cast<std::uint64_t>(r) * static_cast<std::uint64_t>(r + 1) / 2;
}

// Items 2. and 3. for the block's points: what the test needs of them,
// formed once per block.
template <class V>
struct BlockFacts {
    typename V::reg A, B, B2;
    typename V::mask realLane;   // b = 0
    typename V::mask rightHalf;  // a >= 0
    typename V::mask safeLane;   // the point within the ranges of 3.
    bool anyLeft, anyRight;
    typename V::reg peakRate;     // c*
    typename V::reg peakSquared;  // 1 + a^2 / b^2
};

template <class V>
[[gnu::always_inline]] inline BlockFacts<V> blockFacts(typename V::reg A, typename V::reg B, typename V::reg B2) {
    typedef typename V::reg reg;
    BlockFacts<V> f;
    f.A = A;
    f.B = B;
    f.B2 = B2;
    const reg zero = V::zero();
    const reg absA = V::abs(A);
    const reg absB = V::abs(B);
    const reg high = V::broadcast(kSafeRateHigh);
    f.realLane = V::equal(B, zero);
    f.rightHalf = V::lessEqual(zero, A);
    f.safeLane = V::both(V::both(V::lessEqual(absA, high), V::lessEqual(absB, high)),
                         V::either(V::lessEqual(V::broadcast(kSafeRateLow), absB),
                                   V::both(f.realLane, f.rightHalf)));
    f.anyLeft = !V::all(f.rightHalf);
    f.anyRight = !V::none(f.rightHalf);
    const reg modulus2 = V::add(V::mul(A, A), B2);
    f.peakRate = V::div(modulus2, absA);
    f.peakSquared = V::div(modulus2, B2);
    return f;
}

// The test of item 4 within one row k of a block. The test with Gamma = 1
// ("plain") is cheaper: where a < 0 (Gamma >= 1) it is necessary, where
// a >= 0 (Gamma <= 1) sufficient. So rho^2 and Gamma are formed only when
// that does not settle every lane (rho^2 once per row, or at each check
// where the rates fall).
template <class V>
struct RowTest {
    typedef typename V::reg reg;
    typedef typename V::mask mask;
    const BlockFacts<V>& f;
    const RowTables<V>& t;
    int k;
    double top;    // C[k]
    mask lost;     // item 5: lanes whose sums are both NaN
    reg rowLimit;  // T (1 - 2^-40) of item 4
    reg rowCap;    // T 2^998 of item 4
    reg weightBare;  // W of item 4
    reg rho2;        // rho^2 of item 2, once known
    bool growthKnown = false;
    double low, high;
    bool falls;

    // limit: T of item 4 for the current sums.
    [[gnu::always_inline]] RowTest(const BlockFacts<V>& facts, const RowTables<V>& tables, int row, reg limit,
                                   mask lostLanes)
        : f(facts), t(tables), k(row), top(tables.cumulative[row]), lost(lostLanes), rowLimit(V::zero()),
          rowCap(V::zero()), weightBare(V::zero()), rho2(V::broadcast(1.0)), low(tables.rateLow[row]),
          high(tables.rateHigh[row]), falls(tables.ratesFall[row] != 0) {
        if (low == low) rowLimit = limit;  // NaN: a row outside item 3
        rowCap = V::mul(rowLimit, V::broadcast(kWeightCapScale));
        rowLimit = V::mul(rowLimit, V::broadcast(kLimitMargin));
        weightBare = V::broadcast(t.weightBound[k]);
    }

    [[gnu::always_inline]] double rate(int j) const { return (top - t.cumulative[j]) + t.service; }

    // rho^2 of item 2 over the rates from rate(j) on: the decay bound where
    // a >= 0, the growth bound where a < 0.
    [[gnu::always_inline]] void boundFactor(int j) {
        const reg one = V::broadcast(1.0);
        const double from = falls ? rate(k - 1) : low;
        const double to = falls ? rate(j) : high;
        const reg margin = V::broadcast(kGrowthMargin);
        const reg atTop = squaredFactor<V>(f.A, f.B2, to);
        // a >= 0: the largest rate left gives the largest factor.
        const reg decay = V::max(V::min(V::mul(atTop, margin), one), V::broadcast(kSmallestPower));
        if (f.anyLeft) {
            const mask peakInRow =
                V::both(V::lessEqual(V::broadcast(from * kPeakWindowLow), f.peakRate),
                        V::lessEqual(f.peakRate, V::broadcast(to * kPeakWindowHigh)));
            const reg ends = V::max(squaredFactor<V>(f.A, f.B2, from), atTop);
            const reg grow = V::max(V::mul(V::select(peakInRow, f.peakSquared, ends), margin), one);
            rho2 = V::select(f.rightHalf, decay, grow);
        } else {
            rho2 = decay;
        }
        growthKnown = true;
    }

    // Item 4 with Gamma for the k - j factors left, rho^2 known.
    [[gnu::always_inline]] mask passesWithGrowth(reg m, int j) const {
        const reg one = V::broadcast(1.0);
        const int left = k - j;
        reg growth = left >= 2 ? power<V>(rho2, left / 2) : one;  // Gamma
        if (f.anyLeft && left % 2 == 1) growth = V::select(f.rightHalf, growth, V::mul(growth, rho2));
        const reg wg = V::mul(weightBare, growth);
        const mask small = V::both(V::less(V::mul(m, wg), rowLimit),
                                   V::lessEqual(V::mul(m, V::max(growth, one)), V::broadcast(kLargestProduct)));
        const mask capped = V::both(V::lessEqual(wg, rowCap), V::lessEqual(weightBare, rowCap));
        return V::either(V::both(small, capped), lost);
    }

    // Item 4 for products of modulus at most m, with the k - j factors of
    // rate(j) .. rate(k - 1) left, which change them by at most Gamma:
    // passed lanes, lost ones included.
    [[gnu::always_inline]] mask absorbed(reg m, int j) {
        const mask plain =
            V::either(V::both(V::both(V::less(V::mul(m, weightBare), rowLimit), V::lessEqual(weightBare, rowCap)),
                              V::lessEqual(m, V::broadcast(kLargestProduct))),
                      lost);
        if (!f.anyLeft && V::all(plain)) return plain;
        if (!f.anyRight && V::none(plain)) return plain;
        if (!growthKnown || falls) boundFactor(j);
        if (V::all(V::equal(rho2, V::broadcast(1.0)))) return plain;
        return passesWithGrowth(m, j);
    }
};

// Row k's product p_k, checked before the first factor (|p_0| = 1, all k
// factors left) and then every kStepsPerCheck steps; a lane that passed has
// its product set to zero. False when every lane passed (the row adds
// nothing). Adds the vector steps done to `steps`.
template <class V>
[[gnu::always_inline]] inline bool rowProduct(RowTest<V>& test, typename V::reg& pRe, typename V::reg& pIm,
                                              std::uint64_t& steps) {
    typedef typename V::mask mask;
    const BlockFacts<V>& f = test.f;
    const int k = test.k;
    // Before the first factor: |p_0| = 1, and all k factors are left.
    if (V::all(test.absorbed(V::broadcast(1.0), 0))) return false;
    firstFactor<V>(f.A, f.B, f.B2, test.rate(0), pRe, pIm);
    int j = 1;
    bool endedEarly = false;
    while (j < k) {
        const mask passed = test.absorbed(V::add(V::abs(pRe), V::abs(pIm)), j);
        if (V::all(passed)) {
            endedEarly = true;
            break;
        }
        pRe = V::zeroWhere(passed, pRe);
        pIm = V::zeroWhere(passed, pIm);
        const int stop = k - j < kStepsPerCheck ? k : j + kStepsPerCheck;
        for (; j < stop; ++j) nextFactor<V>(f.A, f.B, f.B2, test.rate(j), pRe, pIm);
    }
    steps += static_cast<std::uint64_t>(j);
    return !endedEarly;
}

// Every row, each left early where it can no longer change a bit of any
// lane's sums. Returns the steps done.
template <class V>
[[gnu::always_inline]] inline std::uint64_t sumRowsLeavingOut(const RowTables<V>& t, const BlockFacts<V>& f,
                                                              typename V::reg& sumRe, typename V::reg& sumIm) {
    typedef typename V::reg reg;
    typedef typename V::mask mask;
    std::uint64_t steps = 0;
    reg limit = V::zero();          // T of item 4 for the current sums
    mask lost = V::isNan(V::zero());  // item 5: no lane yet
    for (int k = 1; k <= t.r; ++k) {
        RowTest<V> test(f, t, k, limit, lost);
        reg pRe, pIm;
        if (!rowProduct<V>(test, pRe, pIm, steps)) continue;
        const reg w = V::broadcast(t.weight[k]);
        sumRe = V::add(sumRe, V::mul(w, pRe));
        sumIm = V::add(sumIm, V::mul(w, pIm));
        limit = absorptionLimit<V>(sumRe, sumIm, f.realLane, f.safeLane);
        lost = V::both(V::isNan(sumRe), V::isNan(sumIm));
    }
    return steps;
}

// Points [0, n): full blocks of V::lanes points straight from the arrays, a
// last partial block through a padded copy (the padding repeats the last
// point, a valid one, and its values are dropped). Returns the vector steps
// done (one step factor for all lanes of a vector).
template <class V>
std::uint64_t evaluatePoints(const TransformModel& model, const double* a, const double* b,
                             std::size_t n, Complex* out) {
    typedef typename V::reg reg;
    const int L = V::lanes;
    const RowTables<V> t = rowTables<V>(model);
    std::uint64_t steps = 0;

    for (std::size_t first = 0; first < n; first += L) {
        const std::size_t count = n - first < static_cast<std::size_t>(L) ? n - first : L;
        alignas(64) double blockA[V::lanes];
        alignas(64) double blockB[V::lanes];
        for (int i = 0; i < L; ++i) {
            const std::size_t src = first + (static_cast<std::size_t>(i) < count ? i : count - 1);
            blockA[i] = a[src];
            blockB[i] = b[src];
        }

        const reg A = V::load(blockA);
        const reg B = V::load(blockB);
        const reg B2 = V::mul(B, B);
        reg sumRe = V::zero();
        reg sumIm = V::zero();
        if (!t.mayLeaveOut)
            steps += sumAllRows<V>(t, A, B, B2, sumRe, sumIm);
        else
            steps += sumRowsLeavingOut<V>(t, blockFacts<V>(A, B, B2), sumRe, sumIm);

        // The division by z through the conjugate.
        alignas(64) double resultRe[V::lanes];
        alignas(64) double resultIm[V::lanes];
        const reg q = V::add(V::mul(A, A), B2);
        V::store(resultRe, V::div(V::add(V::mul(sumRe, A), V::mul(sumIm, B)), q));
        V::store(resultIm, V::div(V::sub(V::mul(sumIm, A), V::mul(sumRe, B)), q));
        for (std::size_t i = 0; i < count; ++i) out[first + i] = Complex{resultRe[i], resultIm[i]};
    }
    return steps;
}

}  // namespace transform_kernel
}  // namespace queuecalc
