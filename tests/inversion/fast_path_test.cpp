// The fast transform path against the plain scalar evaluation, bit for bit.
// Every SIMD kernel (forced explicitly; a kernel the processor lacks is
// skipped), every thread count and the Fast engine of both inversions must
// reproduce the doubles of waitingTimeTransform exactly, compared with
// memcmp: random call centres of several sizes with all three patience
// distributions, the Euler and Talbot nodes for odd and even M (points with
// b = 0 and, on the Talbot contour, with negative real parts), and points
// chosen to hit signed zeros, subnormal and cancelling intermediates.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "app/run.h"
#include "engine/queue_model.h"
#include "input/binomial_table.h"
#include "input/model_input.h"
#include "inversion/euler.h"
#include "inversion/talbot.h"
#include "inversion/transform.h"
#include "inversion/transform_simd.h"
#include "support/pascal_table.h"

namespace queuecalc {

// How ctest and failure messages name a kernel.
void PrintTo(SimdLevel level, std::ostream* os) { *os << simdLevelName(level); }

namespace {

const int kPatienceTypes[] = {0, 1, 2};  // exponential, Erlang, lognormal
const int kWaitingPlaces[] = {0, 1, 2, 5, 16, 41};
const int kTerms[] = {7, 32};  // odd and even M
const double kMoments[] = {0.001, 0.1, 1.0, 7.3};


// A call centre drawn at random around a load of 1: between 1 and r + 3
// agents, patience of the given type with random parameters.
ModelInput randomCallCentre(std::mt19937_64& rng, int abandonType, int waitingPlaces) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    ModelInput in;
    in.setAbandonType(abandonType);
    in.waitingPlaces = waitingPlaces;
    in.servers = 1 + static_cast<int>(unit(rng) * (waitingPlaces + 3));
    in.serviceRate = 0.5 + 1.5 * unit(rng);
    in.arrivalRate = in.servers * in.serviceRate * (0.6 + 0.7 * unit(rng));
    if (abandonType == 0) {
        in.abandonParam1 = 0.05 + 2 * unit(rng);  // rate
        in.abandonParam2 = -1;
    } else if (abandonType == 1) {
        in.abandonParam1 = 0.5 + 4 * unit(rng);                   // phase rate
        in.abandonParam2 = 1 + static_cast<int>(unit(rng) * 12);  // phases
    } else {
        in.abandonParam1 = 0.5 + 5 * unit(rng);  // mean
        in.abandonParam2 = 0.1 + 4 * unit(rng);  // variance
    }
    in.abandonParam3 = -1;
    in.momentInterval = 0.1;
    in.maxTime = 0;
    in.inversionTerms = 32;
    in.setInversionMethod(1);
    return in;
}

std::string describe(const ModelInput& in) {
    return "patience type " + std::to_string(in.abandonType) +
           ", s = " + std::to_string(in.servers) + ", r = " + std::to_string(in.waitingPlaces);
}

struct Points {
    std::vector<double> a;
    std::vector<double> b;
    void add(double re, double im) {
        a.push_back(re);
        b.push_back(im);
    }
};

// The nodes both inversions divide by t, for M odd and even, and points that
// make intermediates awkward: a = -c (the sum a + c is exactly 0), a b whose
// square is subnormal or 0, a far out in the left half-plane.
Points inversionAndAwkwardPoints(const QueueModel& model) {
    Points p;
    const BinomialTable table = testsupport::pascalTable(32);
    for (int terms : kTerms) {
        const EulerRule euler = buildEulerRule(terms, table.rows[terms]);
        const TalbotRule talbot = buildTalbotRule(terms);
        for (double t : kMoments) {
            for (std::size_t k = 0; k < euler.nodes.re.size(); ++k)
                p.add(euler.nodes.re[k] / t, euler.nodes.im[k] / t);
            for (std::size_t k = 0; k < talbot.nodes.re.size(); ++k)
                p.add(talbot.nodes.re[k] / t, talbot.nodes.im[k] / t);
        }
    }
    const QueuePositionTables& tables = *model.tables;
    if (tables.waitingPlaces > 0) {
        const double c = tables.rate(tables.waitingPlaces, 1);
        p.add(-c, 1.0);
        p.add(-c, -3.5);
    }
    p.add(2.0, 1e-160);
    p.add(2.0, 1e-170);
    p.add(-1e3, 2e3);
    p.add(1e-3, -1e-3);
    return p;
}

struct Comparison {
    std::size_t points = 0;
    std::size_t differing = 0;
    std::size_t notFinite = 0;  // the points are meant to give finite values only
    std::string firstDifference;
};

// memcmp of each value against the scalar reference at the same point.
Comparison compareWithScalar(const TransformModel& model, const Points& p,
                             const std::vector<Complex>& fast) {
    Comparison c;
    for (std::size_t i = 0; i < p.a.size(); ++i) {
        const Complex ref = waitingTimeTransform(model, p.a[i], p.b[i]);
        ++c.points;
        if (!std::isfinite(ref.re) || !std::isfinite(ref.im)) ++c.notFinite;
        if (std::memcmp(&ref, &fast[i], sizeof(Complex)) != 0) {
            if (c.differing++ == 0) {
                char text[200];
                std::snprintf(text, sizeof text,
                              "z = %.17g%+.17gi: scalar %.17g%+.17gi, fast %.17g%+.17gi", p.a[i],
                              p.b[i], ref.re, ref.im, fast[i].re, fast[i].im);
                c.firstDifference = text;
            }
        }
    }
    return c;
}

std::vector<Complex> evaluate(const TransformModel& model, const Points& p, SimdLevel level,
                              unsigned threads) {
    std::vector<Complex> out(p.a.size());
    evaluateTransformPoints(model, p.a.data(), p.b.data(), p.a.size(), out.data(), level, threads);
    return out;
}

class EveryKernel : public ::testing::TestWithParam<SimdLevel> {
protected:
    void SetUp() override {
        if (!simdLevelAvailable(GetParam()))
            GTEST_SKIP() << simdLevelName(GetParam()) << " is not available on this processor";
    }
};

TEST_P(EveryKernel, GivesTheScalarBitsAtEveryNodeOfRandomCallCentres) {
    std::mt19937_64 rng(20240611);
    std::size_t points = 0;
    std::size_t differing = 0;
    for (int type : kPatienceTypes) {
        for (int r : kWaitingPlaces) {
            const ModelInput in = randomCallCentre(rng, type, r);
            const QueueModel queue = buildQueueModel(in);
            const TransformModel& model = queue.transform;
            const Points p = inversionAndAwkwardPoints(queue);
            for (unsigned threads : {1u, 3u}) {
                const Comparison c =
                    compareWithScalar(model, p, evaluate(model, p, GetParam(), threads));
                EXPECT_EQ(c.differing, 0u)
                    << describe(in) << ", " << threads << " threads; first: " << c.firstDifference;
                EXPECT_EQ(c.notFinite, 0u) << describe(in);
                points += c.points;
                differing += c.differing;
            }
        }
    }
    std::cout << "[fast path] " << simdLevelName(GetParam()) << ": " << differing << " of "
              << points << " values differ from the scalar bits\n";
}

TEST_P(EveryKernel, GivesTheScalarBitsForEveryPointCountAndStartingOffset) {
    // Full blocks, a last partial block, and ranges that start off a block
    // boundary all take the same path per point.
    std::mt19937_64 rng(7);
    const ModelInput in = randomCallCentre(rng, 1, 9);
    const QueueModel queue = buildQueueModel(in);
    const TransformModel& model = queue.transform;
    std::uniform_real_distribution<double> re(-30.0, 60.0);
    std::uniform_real_distribution<double> im(0.0, 80.0);
    Points all;
    for (int i = 0; i < 40; ++i) {
        const double x = re(rng);
        if (i % 5 == 0) all.add(std::fabs(x) + 0.5, 0.0);  // on the real axis only right of 0
        else all.add(x, im(rng));
    }
    for (std::size_t offset : {0u, 1u, 3u}) {
        for (std::size_t n = 1; n + offset <= all.a.size(); ++n) {
            Points p;
            p.a.assign(all.a.begin() + offset, all.a.begin() + offset + n);
            p.b.assign(all.b.begin() + offset, all.b.begin() + offset + n);
            const Comparison c = compareWithScalar(model, p, evaluate(model, p, GetParam(), 1));
            EXPECT_EQ(c.differing, 0u)
                << n << " points from " << offset << "; first: " << c.firstDifference;
            EXPECT_EQ(c.notFinite, 0u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FastTransform, EveryKernel,
                         ::testing::Values(SimdLevel::Portable, SimdLevel::Sse2, SimdLevel::Avx2,
                                           SimdLevel::Avx512),
                         [](const ::testing::TestParamInfo<SimdLevel>& info) {
                             switch (info.param) {
                                 case SimdLevel::Sse2: return std::string("Sse2");
                                 case SimdLevel::Avx2: return std::string("Avx2");
                                 case SimdLevel::Avx512: return std::string("Avx512");
                                 case SimdLevel::Portable: break;
                             }
                             return std::string("Portable");
                         });

TEST(FastTransform, UsesAtLeastAvx2WhereTheProcessorHasIt) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    const SimdLevel widest = widestSimdLevel();
    if (__builtin_cpu_supports("avx512f"))
        EXPECT_EQ(widest, SimdLevel::Avx512);
    else if (__builtin_cpu_supports("avx2"))
        EXPECT_EQ(widest, SimdLevel::Avx2);
    else
        EXPECT_EQ(widest, SimdLevel::Sse2);
    std::cout << "[fast path] this processor runs the " << simdLevelName(widest) << " kernel\n";
#else
    EXPECT_EQ(widestSimdLevel(), SimdLevel::Portable);
#endif
}

// Moments whose doubles differ between the two curves.
std::size_t countDifferentBits(const std::vector<double>& scalar, const std::vector<double>& fast,
                               const std::string& what) {
    EXPECT_EQ(scalar.size(), fast.size()) << what;
    if (scalar.size() != fast.size()) return scalar.size();
    std::size_t differing = 0;
    for (std::size_t i = 0; i < scalar.size(); ++i)
        if (std::memcmp(&scalar[i], &fast[i], sizeof(double)) != 0) ++differing;
    EXPECT_EQ(differing, 0u) << what << ": " << differing << " of " << scalar.size()
                             << " moments differ";
    return differing;
}

TEST(FastEngine, ReproducesBothInversionsOfTheScalarEngineBitForBit) {
    // Whole runs, Euler then Talbot, with odd and even M. The r = 60 centres
    // have enough work per batch to be spread over threads, and 70 moments
    // make two batches.
    std::mt19937_64 rng(99);
    const int sizes[] = {3, 60};
    std::size_t values = 0;
    std::size_t differing = 0;
    for (int type : kPatienceTypes) {
        for (int r : sizes) {
            for (int terms : kTerms) {
                ModelInput in = randomCallCentre(rng, type, r);
                in.inversionTerms = terms;
                in.setInversionMethod(0);
                in.momentInterval = 0.05;
                in.maxTime = 3.5;
                const BinomialTable table = testsupport::pascalTable(terms);
                const RunResults scalar = computeRun(in, table, TransformEngine::Scalar);
                const RunResults fast = computeRun(in, table, TransformEngine::Fast);
                const std::string what = describe(in) + ", M = " + std::to_string(terms);
                const InversionResults& a = scalar.curves;
                const InversionResults& b = fast.curves;
                differing += countDifferentBits(a.euler->joint, b.euler->joint, what + ", Euler joint");
                differing += countDifferentBits(a.euler->conditional, b.euler->conditional,
                                                what + ", Euler conditional");
                differing += countDifferentBits(a.talbot->joint, b.talbot->joint, what + ", Talbot joint");
                differing += countDifferentBits(a.talbot->conditional, b.talbot->conditional,
                                                what + ", Talbot conditional");
                values += 4 * a.euler->joint.size();
            }
        }
    }
    std::cout << "[fast path] Fast engine: " << differing << " of " << values
              << " curve values differ from the Scalar engine's bits\n";
}

}  // namespace
}  // namespace queuecalc
