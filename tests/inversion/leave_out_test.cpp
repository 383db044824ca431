// The fast path leaves out rows and row ends whose contribution cannot change
// a bit of the sum. These tests build call centres by hand (cumulative
// abandonment rates C, s mu and weights chosen freely; row k's step rates are
// (C[k] - C[j-1]) + s mu) so that a contribution sits right at the edge of
// what the sum absorbs, and compare every kernel with the scalar reference
// with memcmp. Each edge case also checks that its contribution really moves
// the scalar result, so that a rule that left it out would be caught: a limit
// looser than half the gap by 2^-18, or a growth bound that ignores factors
// larger than 1, fails them.
//
// Exact arithmetic: at z = 2^-80 (b = 0) a step rate c >= 1 gives the factor
// c (a + c) / (a + c)^2 = 1 exactly (a + c rounds to c), and c = 2^-80 gives
// 2^-80 * 2^-79 / 2^-158 = 1/2 exactly; c = -1 gives (-1)(-1) / 1 = 1 too (a
// negative rate puts its row outside the rule: done in full). So the
// products are powers of two,
// the sum is formed exactly where we want it, and G = sum * 2^80 shows it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "inversion/transform.h"
#include "inversion/transform_simd.h"
#include "model/queue_positions.h"
#include "support/transform_points.h"
#include "support/same_bits.h"

namespace queuecalc {
namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kExactPoint = 0x1p-80;  // see the head of the file
const double kHalfFactorRate = 0x1p-80;

const SimdLevel kLevels[] = {SimdLevel::Sse2, SimdLevel::Avx2, SimdLevel::Avx512};

// A transform model built from given cumulative rates C[0 .. r], s mu and
// weights w_1 .. w_r, with its row bounds however few the rows.
TransformModel handModel(const std::vector<double>& cumulative, double fullService,
                         const std::vector<double>& weights) {
    auto tables = std::make_shared<QueuePositionTables>();
    const int r = static_cast<int>(weights.size());
    EXPECT_EQ(cumulative.size(), weights.size() + 1);
    tables->waitingPlaces = r;
    tables->fullService = fullService;
    tables->cumulativeAbandonRate = cumulative;
    tables->hazardRate.assign(cumulative.size(), 0.0);
    tables->reachServiceProb.assign(static_cast<std::size_t>(r) + 1, 1.0);
    for (int k = 1; k <= r; ++k) tables->reachServiceProb[k] = weights[k - 1];
    // One agent; every state's admitted probability 1, so w_k = reachServiceProb[k].
    const std::vector<double> admitted(static_cast<std::size_t>(r) + 1, 1.0);
    TransformModel model = makeTransformModel(1, r, admitted, tables);
    boundTransformRows(model);
    return model;
}

using testsupport::Points;

// The same double, bit for bit; a NaN only needs to meet a NaN (the sign and
// payload of a NaN depend on the order in which the compiler put the operands
// of an operation, and the results spell every NaN alike).
bool samePart(double x, double y) {
    return std::memcmp(&x, &y, sizeof x) == 0 || (std::isnan(x) && std::isnan(y));
}

// Values of every available kernel (one thread, all points at once) that
// differ from waitingTimeTransform (samePart); the first one described.
struct Mismatch {
    std::size_t values = 0;
    std::size_t differing = 0;
    std::string first;
};

Mismatch compareKernels(const TransformModel& model, const Points& p) {
    Mismatch m;
    for (SimdLevel level : kLevels) {
        if (!simdLevelAvailable(level)) continue;
        std::vector<Complex> fast(p.a.size());
        evaluateTransformPoints(model, p.a.data(), p.b.data(), p.a.size(), fast.data(), level, 1);
        for (std::size_t i = 0; i < p.a.size(); ++i) {
            const Complex ref = waitingTimeTransform(model, p.a[i], p.b[i]);
            ++m.values;
            if (samePart(ref.re, fast[i].re) && samePart(ref.im, fast[i].im)) continue;
            if (m.differing++ == 0) {
                char text[240];
                std::snprintf(text, sizeof text, "%s at z = %a%+ai: scalar %a%+ai, fast %a%+ai",
                              simdLevelName(level), p.a[i], p.b[i], ref.re, ref.im, fast[i].re,
                              fast[i].im);
                m.first = text;
            }
        }
    }
    return m;
}

using testsupport::sameBits;

// Row 1 (rate -1) sets the sum to `sum` exactly (one factor 1). Row 2 has
// the rates 2^-80 and 1 + 2^-80, rounded to 1, so the factors 1/2 and 1: its
// product is 1/2 after its first step already and the kernel decides on it
// there; its contribution is exactly `contribution`.
TransformModel sumThenContribution(double sum, double contribution) {
    return handModel({0.0, -1.0, kHalfFactorRate}, 0.0, {sum, 2 * contribution});
}

TEST(LeaveOut, ContributionsJustBeyondHalfTheGapAreKept) {
    // Sum 1 (a power of two: half the gap below is 2^-54, above 2^-53) and
    // sum 1.5 (2^-53 on both sides). Each contribution exceeds that by
    // 2^-20 of it and so moves the sum by one unit in the last place.
    const double beyond = 1 + 0x1p-20;
    const struct {
        double sum;
        double contribution;
    } cases[] = {
        {1.0, -0x1p-54 * beyond}, {1.0, 0x1p-53 * beyond},
        {1.5, 0x1p-53 * beyond},  {1.5, -0x1p-53 * beyond},
        {-1.0, 0x1p-54 * beyond}, {0x1p-900, -0x1p-954 * beyond},
        {1.75, 0x1p-53 * beyond}, {0x1.fffffffffffffp0, 0x1p-53 * beyond},
    };
    Points p;
    p.add(kExactPoint, 0.0);
    std::size_t values = 0;
    std::size_t differing = 0;
    for (const auto& c : cases) {
        const auto m = sumThenContribution(c.sum, c.contribution);
        const auto without = sumThenContribution(c.sum, 0.0);
        const Complex g = waitingTimeTransform(m, kExactPoint, 0.0);
        ASSERT_FALSE(sameBits(g, waitingTimeTransform(without, kExactPoint, 0.0)))
            << "the contribution " << c.contribution << " must move the sum " << c.sum;
        const Mismatch mm = compareKernels(m, p);
        EXPECT_EQ(mm.differing, 0u) << "sum " << c.sum << ": " << mm.first;
        values += mm.values;
        differing += mm.differing;
    }
    std::cout << "[leave out] edge of the gap: " << differing << " of " << values
              << " values differ from the scalar bits\n";
}

TEST(LeaveOut, ContributionsJustInsideHalfTheGapEndTheRowAndKeepTheBits) {
    // 2^-18 inside half the gap: the sum cannot move, and the kernel ends
    // row 2 after its first factor (2 of the 3 steps of a vector done).
    const double inside = 1 - 0x1p-18;
    const struct {
        double sum;
        double contribution;
    } cases[] = {{1.0, -0x1p-54 * inside}, {1.5, 0x1p-53 * inside}, {-1.5, 0x1p-53 * inside}};
    Points p;
    p.add(kExactPoint, 0.0);
    for (const auto& c : cases) {
        const auto m = sumThenContribution(c.sum, c.contribution);
        const Mismatch mm = compareKernels(m, p);
        EXPECT_EQ(mm.differing, 0u) << "sum " << c.sum << ": " << mm.first;
        for (SimdLevel level : kLevels) {
            if (!simdLevelAvailable(level)) continue;
            Complex out;
            const TransformWork work =
                evaluateTransformPoints(m, p.a.data(), p.b.data(), 1, &out, level, 1);
            EXPECT_EQ(work.stepsInFull, 3u);
            EXPECT_EQ(work.stepsDone, 2u) << simdLevelName(level) << ", sum " << c.sum;
        }
    }
}

// Row 1 sets the sum to `sum` (rate 1, factor 1); rows 2 .. k-1 weigh
// nothing; row k has the rate 1 and then k - 1 rates 2^-80 (C = 0, 1, 1, ...
// and s mu = 2^-80), so after its first step its product is 1 and the k - 1
// factors left are 1/2 each: its contribution is exactly `contribution`, and
// for k - 1 even the decay bound (1/4)^((k-1)/2) is exact but for the margins.
TransformModel sumThenDecayingRow(int k, double sum, double contribution) {
    std::vector<double> cumulative(static_cast<std::size_t>(k) + 1, 1.0);
    cumulative[0] = 0.0;
    std::vector<double> weights(static_cast<std::size_t>(k), 0.0);
    weights[0] = sum;
    weights[k - 1] = std::ldexp(contribution, k - 1);
    return handModel(cumulative, kHalfFactorRate, weights);
}

TEST(LeaveOut, DecayingFactorsEndARowExactlyWhereTheirBoundAllows) {
    // Beyond half the gap by 2^-20, the contribution moves the sum and the
    // row must run to its end (a decay bound looser by 2^-18 would end it
    // after its first step); inside by 2^-18, the kernel ends it there, as
    // nothing after the first factor (1) can bring the product above
    // (1/2)^(k-1): 2 vector steps (row 1 and row k's first).
    const struct {
        int k;
        double sum;
        double halfGap;
    } cases[] = {{3, 1.0, -0x1p-54}, {3, 1.5, 0x1p-53}, {11, 1.75, 0x1p-53},
                 {11, -1.5, 0x1p-53}, {21, 0x1p-900, -0x1p-954}};
    Points p;
    p.add(kExactPoint, 0.0);
    std::size_t values = 0;
    std::size_t differing = 0;
    for (const auto& c : cases) {
        const auto beyond = sumThenDecayingRow(c.k, c.sum, c.halfGap * (1 + 0x1p-20));
        ASSERT_FALSE(sameBits(waitingTimeTransform(beyond, kExactPoint, 0.0),
                              waitingTimeTransform(sumThenDecayingRow(c.k, c.sum, 0.0),
                                                   kExactPoint, 0.0)))
            << "row " << c.k << " must move the sum " << c.sum;
        const Mismatch kept = compareKernels(beyond, p);
        EXPECT_EQ(kept.differing, 0u) << "row " << c.k << ", sum " << c.sum << ": " << kept.first;
        values += kept.values;
        differing += kept.differing;
        const auto inside = sumThenDecayingRow(c.k, c.sum, c.halfGap * (1 - 0x1p-18));
        const Mismatch left = compareKernels(inside, p);
        EXPECT_EQ(left.differing, 0u) << "row " << c.k << ", sum " << c.sum << ": " << left.first;
        for (SimdLevel level : kLevels) {
            if (!simdLevelAvailable(level)) continue;
            Complex out;
            const TransformWork work =
                evaluateTransformPoints(inside, p.a.data(), p.b.data(), 1, &out, level, 1);
            EXPECT_EQ(work.stepsDone, 2u) << simdLevelName(level) << ", row " << c.k;
        }
    }
    std::cout << "[leave out] edge of the decay bound: " << differing << " of " << values
              << " values differ from the scalar bits\n";
}

TEST(LeaveOut, FactorsLargerThanOneInTheLeftHalfPlaneKeepTheRow) {
    // z = -1 + 0.01i: the rate 1 gives the factor -100i (|f| = 100), a tiny
    // rate a factor of about 1e-6. Row 2 (rates 1e-6 and 1) starts tiny and
    // then grows a hundredfold; without a growth bound its end would look
    // negligible after the first factor. Row 3: 2e-6, 1 + 1e-6, 1e-6.
    const double a = -1;
    const double b = 0.01;
    const std::vector<double> rows = {0.0, 1e-6 - 1, 1e-6, 2e-6};
    Points p;
    p.add(a, b);
    std::size_t checked = 0;
    for (double w2 : {1e-13, 3e-13, 1e-12}) {
        for (double w3 : {0.0, 1e-15, 1e-11}) {
            const auto m = handModel(rows, 0.0, {1.0, w2, w3});
            const auto without = handModel(rows, 0.0, {1.0, 0.0, w3});
            ASSERT_FALSE(sameBits(waitingTimeTransform(m, a, b),
                                  waitingTimeTransform(without, a, b)))
                << "row 2 with weight " << w2 << " must move the sum";
            const Mismatch mm = compareKernels(m, p);
            EXPECT_EQ(mm.differing, 0u) << "w2 = " << w2 << ", w3 = " << w3 << ": " << mm.first;
            checked += mm.values;
        }
    }
    std::cout << "[leave out] growing factors: " << checked << " values compared\n";
}

TEST(LeaveOut, ProductsThatOverflowKeepTheirRows) {
    // z = -1 + 0.01i and rates 1: every factor is -100i, so row k's product
    // is 100^k and overflows from k = 155 on (C = 0, -0.5, -0.5, ... and
    // s mu = 1: row 1's rate is 0.5, every row starts with 0.5, then 1s). Row 1 makes the sum about
    // 1e300, large enough that 1e-300 times a product of 1e160 looks
    // negligible; but the rest of such a row overflows, and the reference's
    // sum turns infinite or NaN (0 times an infinite product too).
    const double a = -1;
    const double b = 0.01;
    const int r = 170;
    std::vector<double> rows(r + 1, -0.5);
    rows[0] = 0.0;
    Points p;
    p.add(a, b);
    for (double others : {1e-300, 0.0}) {
        std::vector<double> weights(r, others);
        weights[0] = 1e300;
        const TransformModel m = handModel(rows, 1.0, weights);
        const Complex g = waitingTimeTransform(m, a, b);
        ASSERT_FALSE(std::isfinite(g.re) && std::isfinite(g.im)) << "the products must overflow";
        const Mismatch mm = compareKernels(m, p);
        EXPECT_EQ(mm.differing, 0u) << "other weights " << others << ": " << mm.first;
    }
}

TEST(LeaveOut, ZeroAndTinySumsAndRealPointsKeepEveryBit) {
    // The first rows weigh nothing (+0, -0) or almost nothing (subnormal,
    // 1e-300), so the later rows meet a zero or tiny sum; points on the real
    // axis have zero imaginary parts throughout, on both sides of zero.
    const double weightsOfFirstRows[] = {0.0, -0.0, 4.9e-324, 1e-300, -1e-300};
    // Rates 2; 4, 3; 7, 6, 4; 6.999, 5.999, 3.999, 0.999; 47, 46, 44, 41, 41.001.
    const std::vector<double> rows = {0.0, 1.0, 3.0, 6.0, 5.999, 46.0};
    Points p;
    for (double a : {kExactPoint, 1e-300, 0.5, 3.0, 1e3, 0.0, -0.0})
        for (double b : {0.0, -0.0, 1e-200, 2.0}) p.add(a, b);
    p.add(-0.5, 1.0);
    std::size_t values = 0;
    for (double first : weightsOfFirstRows) {
        for (double last : {1.0, 1e-17, -1e-30, 0.0}) {
            const auto m = handModel(rows, 1.0, {first, first, 1e-20, 0.5, last});
            const Mismatch mm = compareKernels(m, p);
            EXPECT_EQ(mm.differing, 0u)
                << "first weights " << first << ", last " << last << ": " << mm.first;
            values += mm.values;
        }
    }
    std::cout << "[leave out] zero and tiny sums: " << values << " values compared\n";
}

TEST(LeaveOut, SubnormalHugeAndNonFiniteRatesAndWeightsKeepEveryBit) {
    // One awkward number at a time, in rows that would otherwise be left
    // out: s mu (so every rate) below or at the edge of the range the rule
    // accepts, subnormal, huge, infinite or NaN; the same number as one
    // cumulative rate C[j] (rates of 1 plus or minus it, and beyond the
    // range); a weight subnormal, huge, infinite or NaN. The edges of the
    // accepted range are kSafeRateLow and kSafeRateHigh and their neighbours.
    const double awkwardRates[] = {kSafeRateLow,  std::nextafter(kSafeRateLow, 0.0),
                                   kSafeRateHigh, std::nextafter(kSafeRateHigh, kInf),
                                   4.9e-324,      2.2e-310,
                                   1e300,         kInf,
                                   -kInf,         kNaN};
    const double awkwardWeights[] = {4.9e-324, 1e300, -1e300, kInf, -kInf, kNaN};
    Points p;
    for (double a : {kExactPoint, 0.7, 25.0, -3.0})
        for (double b : {0.0, 0.5, 40.0}) p.add(a, b);
    std::size_t values = 0;
    const std::vector<double> weights = {1.0, 0.25, 1e-30, 1e-40};
    // Rates 2; 4, 3; 7, 6, 4; 11, 10, 8, 5.
    const std::vector<double> cumulative = {0.0, 1.0, 3.0, 6.0, 10.0};
    for (double rate : awkwardRates) {
        const auto everyRate = handModel({0.0, 0.0, 0.0, 0.0, 0.0}, rate, weights);
        Mismatch mm = compareKernels(everyRate, p);
        EXPECT_EQ(mm.differing, 0u) << "every rate " << rate << ": " << mm.first;
        values += mm.values;
        for (std::size_t j = 0; j < 4; ++j) {
            std::vector<double> c = cumulative;
            c[j] = rate;
            mm = compareKernels(handModel(c, 1.0, weights), p);
            EXPECT_EQ(mm.differing, 0u) << "C[" << j << "] = " << rate << ": " << mm.first;
            values += mm.values;
        }
    }
    for (double weight : awkwardWeights) {
        for (std::size_t k = 1; k < 4; ++k) {
            std::vector<double> w = weights;
            w[k] = weight;
            const Mismatch mm = compareKernels(handModel(cumulative, 1.0, w), p);
            EXPECT_EQ(mm.differing, 0u)
                << "weight " << weight << " in row " << k + 1 << ": " << mm.first;
            values += mm.values;
        }
    }
    std::cout << "[leave out] awkward rates and weights: " << values << " values compared\n";
}

TEST(LeaveOut, RandomRowsOfEverySizeAndSignKeepEveryBit) {
    // Steps of C and s mu log-uniform over six decades, a fifth of the steps
    // of C negative (rows whose rates rise, some rates negative), weights of
    // both signs over thirty decades, points in both half-planes and on the
    // real axis: the rule fires often, at every kind of place.
    std::mt19937_64 rng(4242);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::size_t values = 0;
    std::size_t differing = 0;
    for (int model = 0; model < 12; ++model) {
        const int r = 5 + static_cast<int>(unit(rng) * 40);
        std::vector<double> rows(static_cast<std::size_t>(r) + 1, 0.0);
        std::vector<double> weights(static_cast<std::size_t>(r));
        const double service = std::pow(10.0, -3 + 6 * unit(rng));
        for (int k = 1; k <= r; ++k) {
            const double step = std::pow(10.0, -3 + 6 * unit(rng));
            rows[k] = rows[k - 1] + (unit(rng) < 0.2 ? -step : step);
            const double size = std::pow(10.0, -30 * unit(rng) * unit(rng));
            weights[k - 1] = unit(rng) < 0.2 ? -size : size;
        }
        const auto m = handModel(rows, service, weights);
        Points p;
        for (int i = 0; i < 40; ++i) {
            const double scale = std::pow(10.0, -2 + 6 * unit(rng));
            const double b = i % 7 == 0 ? 0.0 : scale * unit(rng);
            const double a = i % 7 == 0 ? scale : scale * (2 * unit(rng) - 0.7);
            p.add(a, b);
        }
        const Mismatch mm = compareKernels(m, p);
        EXPECT_EQ(mm.differing, 0u) << "model " << model << ", r = " << r << ": " << mm.first;
        values += mm.values;
        differing += mm.differing;
    }
    std::cout << "[leave out] random rows: " << differing << " of " << values
              << " values differ from the scalar bits\n";
}

TEST(LeaveOut, RandomGrowingRowsWithExtremeWeightsKeepEveryBit) {
    // Points in the left half-plane whose factors exceed 1 in modulus for
    // rates near (a^2 + b^2) / |a|, rows whose rates fall or wander around
    // that rate (C rising by up to 1/r a step, or wandering in [0, 0.8], with
    // s mu in [0.9, 1.2]), weights from 1e-300 to 1e300: products grow,
    // overflow, and sums turn huge, infinite or NaN.
    std::mt19937_64 rng(777);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::size_t values = 0;
    std::size_t differing = 0;
    for (int model = 0; model < 10; ++model) {
        const int r = 60 + static_cast<int>(unit(rng) * 60);
        const bool falling = model % 2 == 0;
        std::vector<double> rows(static_cast<std::size_t>(r) + 1, 0.0);
        std::vector<double> weights(static_cast<std::size_t>(r));
        const double service = 0.9 + 0.3 * unit(rng);
        for (int k = 1; k <= r; ++k) {
            rows[k] = falling ? rows[k - 1] + unit(rng) / r : 0.8 * unit(rng);
            weights[k - 1] = std::pow(10.0, -300 + 600 * unit(rng)) * (unit(rng) < 0.3 ? -1 : 1);
        }
        const TransformModel m = handModel(rows, service, weights);
        Points p;
        for (int i = 0; i < 24; ++i) {
            const double a = -(0.3 + 1.5 * unit(rng));
            const double b = std::pow(10.0, -3 + 3 * unit(rng));
            p.add(a, b);
        }
        const Mismatch mm = compareKernels(m, p);
        EXPECT_EQ(mm.differing, 0u) << "model " << model << ", r = " << r << ": " << mm.first;
        values += mm.values;
        differing += mm.differing;
    }
    std::cout << "[leave out] growing rows: " << differing << " of " << values
              << " values differ from the scalar bits\n";
}

}  // namespace
}  // namespace queuecalc
