// Cross-check of the queue model against an independent long-double model of
// the M/M/s/r+M queue (tests/support/reference_queue.h). With exponential
// patience every hazard rate is the constant theta, so the calculator's chain
// and step tables describe that queue exactly and its fifteen measures must
// agree with the reference up to double rounding.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "engine/queue_model.h"
#include "support/reference_queue.h"
#include "support/measured_error.h"
#include "support/call_centre.h"

namespace queuecalc {
namespace {

namespace ref = reference;

// Double rounding over a few hundred operations, with room to spare; a
// formula fault shows up as an error of order 1e-3 or more.
constexpr double kMeasureRelTol = 1e-12;
// The reference sums P(S) and P(A) from separate terms in long double.
constexpr long double kReferenceBalanceTol = 1e-17L;
// P(A) = 1 - P(S) when nobody abandons is zero up to double rounding.
constexpr double kZeroAbandonAbsTol = 1e-15;

struct CallCentreCase {
    const char* name;
    int servers;
    int waitingPlaces;
    double abandonRate;
    double arrivalRate;
    double serviceRate;
};

// How ctest and failure messages name a case.
void PrintTo(const CallCentreCase& c, std::ostream* os) {
    *os << c.name << " (s = " << c.servers << ", r = " << c.waitingPlaces << ")";
}

const CallCentreCase kCallCentres[] = {
    {"typical", 10, 20, 0.5, 9.5, 1.0},
    {"singleServerSinglePlace", 1, 1, 1.0, 1.0, 1.0},
    {"overloaded", 3, 8, 2.0, 5.0, 1.0},
    {"large", 50, 100, 0.1, 55.0, 1.0},
    {"impatientFew", 2, 3, 3.0, 1.5, 0.8},
};

QueueModel runLibraryModel(const CallCentreCase& c) {
    return buildQueueModel(testsupport::exponentialCentre(c));
}

double relativeError(double actual, long double expected) {
    const long double diff = std::fabs(static_cast<long double>(actual) - expected);
    if (expected == 0) return static_cast<double>(diff);
    return static_cast<double>(diff / std::fabs(expected));
}

struct NamedPair {
    const char* name;
    double actual;
    long double expected;
};

std::vector<NamedPair> pairUp(const PerformanceMeasures& m, const ref::Measures& r) {
    return {
        {"rho", m.rho, r.rho},
        {"lossProb", m.lossProb, r.lossProb},
        {"noWaitProb", m.noWaitProb, r.noWaitProb},
        {"servedProb", m.servedProb, r.servedProb},
        {"abandonProb", m.abandonProb, r.abandonProb},
        {"partialMeanServed", m.partialMeanServed, r.partialMeanServed},
        {"partialSecondMomentServed", m.partialSecondMomentServed, r.partialSecondMomentServed},
        {"meanWaitServed", m.meanWaitServed, r.meanWaitServed},
        {"secondMomentServed", m.secondMomentServed, r.secondMomentServed},
        {"varianceServed", m.varianceServed, r.varianceServed},
        {"partialMeanAbandon", m.partialMeanAbandon, r.partialMeanAbandon},
        {"partialSecondMomentAbandon", m.partialSecondMomentAbandon, r.partialSecondMomentAbandon},
        {"meanWaitAbandon", m.meanWaitAbandon, r.meanWaitAbandon},
        {"secondMomentAbandon", m.secondMomentAbandon, r.secondMomentAbandon},
        {"varianceAbandon", m.varianceAbandon, r.varianceAbandon},
    };
}

// The reference itself against the single-server, single-place queue worked
// by hand (lambda = mu = theta = 1, beta = mu + theta = 2): pi = (0.4, 0.4, 0.2),
// admitted (0.5, 0.5), w_1 = 0.5 * 1/2; E[W 1_S] = w_1 / beta,
// E[W^2 1_S] = 2 w_1 / beta^2, E[W 1_A] = a_1 theta / beta^2,
// E[W^2 1_A] = 2 a_1 theta / beta^3.
TEST(ReferenceQueueModel, ReproducesTheSingleServerSinglePlaceQueueWorkedByHand) {
    const ref::CallCentre cc{1, 1, 1.0L, 1.0L, 1.0L};
    const std::vector<ref::real> pi = ref::stationaryDistribution(cc);
    ASSERT_EQ(pi.size(), 3u);
    const double tol = 1e-16;  // the values are compared as doubles
    EXPECT_NEAR(pi[0], 0.4L, tol);
    EXPECT_NEAR(pi[1], 0.4L, tol);
    EXPECT_NEAR(pi[2], 0.2L, tol);
    const ref::Measures m = ref::measures(cc);
    EXPECT_NEAR(m.lossProb, 0.2L, tol);
    EXPECT_NEAR(m.noWaitProb, 0.5L, tol);
    EXPECT_NEAR(m.servedProb, 0.75L, tol);
    EXPECT_NEAR(m.abandonProb, 0.25L, tol);
    EXPECT_NEAR(m.partialMeanServed, 0.125L, tol);
    EXPECT_NEAR(m.partialSecondMomentServed, 0.125L, tol);
    EXPECT_NEAR(m.partialMeanAbandon, 0.125L, tol);
    EXPECT_NEAR(m.partialSecondMomentAbandon, 0.125L, tol);
    // Two thirds of the served do not wait: E[W|S] = E[W^2|S] = 1/6, Var = 5/36.
    // Every abandoning customer waited one Exp(2) step: E[W|A] = 1/2, Var = 1/4.
    EXPECT_NEAR(m.meanWaitServed, 1.0L / 6, tol);
    EXPECT_NEAR(m.varianceServed, 5.0L / 36, tol);
    EXPECT_NEAR(m.meanWaitAbandon, 0.5L, tol);
    EXPECT_NEAR(m.varianceAbandon, 0.25L, tol);
}

class MeasuresCrossCheck : public ::testing::TestWithParam<CallCentreCase> {};

TEST_P(MeasuresCrossCheck, ChainDistributionsMatchTheProductFormSolution) {
    const CallCentreCase& c = GetParam();
    const QueueModel lib = runLibraryModel(c);
    const ref::CallCentre cc = ref::callCentreOf(c);
    const std::vector<ref::real> pi = ref::stationaryDistribution(cc);
    const std::vector<ref::real> admitted = ref::admittedDistribution(cc);
    ASSERT_EQ(lib.chain.stationaryDist.size(), pi.size());
    ASSERT_GE(lib.chain.admittedDist.size(), admitted.size());
    double worst = 0;
    for (std::size_t i = 0; i < pi.size(); ++i) {
        const double e = relativeError(lib.chain.stationaryDist[i], pi[i]);
        EXPECT_LE(e, kMeasureRelTol) << "stationaryDist[" << i << "]";
        worst = std::max(worst, e);
    }
    for (std::size_t i = 0; i < admitted.size(); ++i) {
        const double e = relativeError(lib.chain.admittedDist[i], admitted[i]);
        EXPECT_LE(e, kMeasureRelTol) << "admittedDist[" << i << "]";
        worst = std::max(worst, e);
    }
    testsupport::reportWorstError(std::string("chain of ") + c.name, testsupport::ErrorKind::Relative, worst, kMeasureRelTol);
}

TEST_P(MeasuresCrossCheck, AllFifteenMeasuresMatchTheReferenceQueue) {
    const CallCentreCase& c = GetParam();
    const QueueModel lib = runLibraryModel(c);
    const ref::Measures expected = ref::measures(ref::callCentreOf(c));

    double worst = 0;
    std::string worstName = "none";
    for (const NamedPair& p : pairUp(lib.measures, expected)) {
        const double e = relativeError(p.actual, p.expected);
        EXPECT_LE(e, kMeasureRelTol) << p.name << ": library " << p.actual << ", reference "
                                     << static_cast<double>(p.expected);
        if (!(e <= worst)) {
            worst = e;
            worstName = p.name;
        }
    }
    testsupport::reportWorstError(std::string("measures of ") + c.name, testsupport::ErrorKind::Relative, worst, kMeasureRelTol, worstName);
}

TEST_P(MeasuresCrossCheck, ServedAndAbandonedShareOfAdmittedArrivalsAddUpToOne) {
    const CallCentreCase& c = GetParam();
    const QueueModel lib = runLibraryModel(c);
    const ref::Measures expected = ref::measures(ref::callCentreOf(c));
    // The reference sums both from their own terms, so this checks its step model.
    EXPECT_NEAR(expected.servedProb + expected.abandonProb, 1.0L, kReferenceBalanceTol);
    EXPECT_NEAR(lib.measures.servedProb + lib.measures.abandonProb, 1.0,
                std::numeric_limits<double>::epsilon());
}

INSTANTIATE_TEST_SUITE_P(CallCentres, MeasuresCrossCheck, ::testing::ValuesIn(kCallCentres),
                         [](const ::testing::TestParamInfo<CallCentreCase>& info) {
                             return std::string(info.param.name);
                         });

// Without abandonment (theta = 0) the queue is M/M/s/r: every admitted arrival
// is served, and the waiting time of position k is Erlang(k, s mu).
TEST(MeasuresCrossCheckWithoutAbandonment, ServedMeasuresMatchAndNobodyAbandons) {
    const CallCentreCase c{"patient", 4, 6, 0.0, 3.5, 1.0};
    const QueueModel lib = runLibraryModel(c);
    const ref::Measures expected = ref::measures(ref::callCentreOf(c));
    ASSERT_EQ(expected.abandonProb, 0.0L);

    double worst = 0;
    for (const NamedPair& p : pairUp(lib.measures, expected)) {
        const std::string name = p.name;
        if (name == "abandonProb" || name == "meanWaitAbandon" || name == "secondMomentAbandon" ||
            name == "varianceAbandon")
            continue;  // quotients by a zero or rounding-level P(A)
        const double e = relativeError(p.actual, p.expected);
        EXPECT_LE(e, kMeasureRelTol) << p.name;
        worst = std::max(worst, e);
    }
    EXPECT_EQ(lib.measures.partialMeanAbandon, 0.0);
    EXPECT_EQ(lib.measures.partialSecondMomentAbandon, 0.0);
    EXPECT_LE(std::fabs(lib.measures.abandonProb), kZeroAbandonAbsTol);
    testsupport::reportWorstError("measures without abandonment", testsupport::ErrorKind::Relative, worst, kMeasureRelTol);
}

}  // namespace
}  // namespace queuecalc
