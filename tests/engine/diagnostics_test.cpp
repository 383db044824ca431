// Checks of computed curves: silent on sound curves, each problem found at
// its first moment, the estimate of one algorithm's error measured against
// the true error, the Talbot spot check within its budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/diagnostics.h"
#include "report/finding_text.h"
#include "support/call_centre.h"
#include "support/measured_error.h"
#include "support/pascal_table.h"

using namespace queuecalc;

namespace {

using testsupport::queueModelOf;

const char* const kTypical = "1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0";
// The centre where Talbot with 32 terms leaves [0, 1] (1.07 at t = 0.63).
const char* const kHundred = "1 0 0.2 -1 -1 100 100 1 105 0.03 32 3 0";

std::vector<double> grid(const QueueModel& m) {
    return buildTimeGrid(computeMomentCount(m.input.maxTime, m.input.momentInterval), m.input.momentInterval);
}

WaitingTimeCurves invert(const QueueModel& m, InversionAlgorithm a, int terms, const std::vector<double>& moments) {
    return evaluateWaitingTime(m, a, terms, moments, testsupport::pascalTable(terms).rows.back());
}

InversionResults only(InversionAlgorithm a, WaitingTimeCurves curves) {
    InversionResults r;
    (a == InversionAlgorithm::Euler ? r.euler : r.talbot) = std::move(curves);
    return r;
}

InversionResults both(const QueueModel& m, int eulerTerms, int talbotTerms, const std::vector<double>& moments) {
    InversionResults r;
    r.euler = invert(m, InversionAlgorithm::Euler, eulerTerms, moments);
    r.talbot = invert(m, InversionAlgorithm::Talbot, talbotTerms, moments);
    return r;
}

std::vector<CurveProblem> problems(const std::vector<CurveFinding>& findings) {
    std::vector<CurveProblem> p;
    for (const CurveFinding& f : findings) p.push_back(f.problem);
    return p;
}

}  // namespace

TEST(CurveChecks, SaySomethingOnlyWhereACurveIsWrong) {
    const QueueModel typical = queueModelOf(kTypical);
    const std::vector<double> t = grid(typical);
    const InversionResults sound = both(typical, 32, 32, t);
    EXPECT_TRUE(checkWaitingTimeCurves(typical, 32, t, sound).empty());
    for (const InversionAlgorithm a : {InversionAlgorithm::Euler, InversionAlgorithm::Talbot})
        for (const int terms : {20, 24, 32})
            EXPECT_TRUE(checkWaitingTimeCurves(typical, terms, t, only(a, invert(typical, a, terms, t))).empty())
                << terms << " terms";

    // Corrupt a copy of the Euler curves: NaN at 0.3, above its range at 0.6,
    // a drop at 0.9, each found at its moment and on the curve it is in.
    WaitingTimeCurves bad = *sound.euler;
    bad.joint[2] = std::numeric_limits<double>::quiet_NaN();
    bad.conditional[5] = 1.5;
    bad.joint[8] = bad.joint[7] - 1e-3;
    const std::vector<CurveFinding> f = checkWaitingTimeCurves(typical, 32, t, only(InversionAlgorithm::Euler, bad));
    ASSERT_EQ(problems(f), (std::vector<CurveProblem>{CurveProblem::NotFinite, CurveProblem::OutOfRange,
                                                      CurveProblem::Decreases, CurveProblem::Decreases}));
    EXPECT_EQ(f[0].curves, CurveSet::Joint);
    EXPECT_DOUBLE_EQ(f[0].moment, 0.3);
    EXPECT_EQ(f[1].curves, CurveSet::Conditional);
    EXPECT_DOUBLE_EQ(f[1].moment, 0.6);
    EXPECT_EQ(f[2].curves, CurveSet::Joint);
    EXPECT_DOUBLE_EQ(f[2].moment, 0.9);
    EXPECT_EQ(f[3].curves, CurveSet::Conditional);
    EXPECT_DOUBLE_EQ(f[3].moment, 0.7) << "1.5 at 0.6 is followed by a drop";
}

TEST(CurveChecks, NameTheAlgorithmThatFailsWhenTheTwoDiffer) {
    const QueueModel hundred = queueModelOf(kHundred);
    const std::vector<double> t = grid(hundred);
    const std::vector<CurveFinding> f = checkWaitingTimeCurves(hundred, 32, t, both(hundred, 24, 32, t));
    ASSERT_FALSE(f.empty());
    const CurveFinding& differ = f.back();
    EXPECT_EQ(differ.problem, CurveProblem::AlgorithmsDiffer);
    EXPECT_EQ(differ.curves, CurveSet::Both);
    EXPECT_TRUE(differ.suspectKnown);
    EXPECT_EQ(differ.suspect, InversionAlgorithm::Talbot);
    for (const CurveFinding& shape : f)
        if (shape.problem != CurveProblem::AlgorithmsDiffer) {
            EXPECT_EQ(shape.algorithm, InversionAlgorithm::Talbot);
        }

    const std::string text = findingText(fromCurveFinding(f.front()));
    EXPECT_EQ(text.substr(0, text.find(" = ")), "The Talbot inversion gives P(0<W<= t , S)");
    EXPECT_NE(text.find("value 11 of the input file (INPUT.DAT)"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "two lines: the finding, what to do";
}

// The estimate against the true error (Talbot with 48 terms, itself good to
// about 2e-9 here): it must flag what is off by more than kAgreement and
// stay within a factor of a few of the truth, so that it neither cries wolf
// nor stays silent.
TEST(AccuracyEstimate, FollowsTheTrueErrorOfEulerAcrossTheNumberOfTerms) {
    const QueueModel typical = queueModelOf(kTypical);
    const std::vector<double> t = grid(typical);
    const WaitingTimeCurves truth = invert(typical, InversionAlgorithm::Talbot, 48, t);
    double worstRatio = 0;
    for (const int terms : {8, 16, 24, 32, 40, 48, 56, 64}) {
        const WaitingTimeCurves euler = invert(typical, InversionAlgorithm::Euler, terms, t);
        double trueError = 0, estimate = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            trueError = std::max(trueError, std::fabs(euler.joint[i] - truth.joint[i]));
            estimate = std::max(estimate, std::numeric_limits<double>::epsilon() * euler.termMagnitude[i] +
                                              std::pow(10.0, -2.0 * terms / 3));
        }
        if (trueError > 1e-8) worstRatio = std::max(worstRatio, std::max(trueError / estimate, estimate / trueError));
        const std::vector<CurveFinding> f = checkWaitingTimeCurves(typical, terms, t, only(InversionAlgorithm::Euler, euler));
        const std::vector<CurveProblem> p = problems(f);
        const bool flagged = std::find(p.begin(), p.end(), CurveProblem::ErrorEstimate) != p.end();
        EXPECT_EQ(flagged, terms >= 40) << terms << " terms: true error " << trueError;
    }
    const double kWithinFactor = 4;
    testsupport::reportWorstError("Euler error estimate against the true error, M = 8 .. 64",
                                  testsupport::ErrorKind::Relative, worstRatio, kWithinFactor);
    EXPECT_LE(worstRatio, kWithinFactor);
}

TEST(AccuracyEstimate, SpotCheckFindsTheTalbotContourMissingOnALargeCentre) {
    const QueueModel hundred = queueModelOf(kHundred);
    const std::vector<double> t = grid(hundred);
    const std::vector<CurveFinding> at32 =
        checkWaitingTimeCurves(hundred, 32, t, only(InversionAlgorithm::Talbot, invert(hundred, InversionAlgorithm::Talbot, 32, t)));
    const std::vector<CurveProblem> p = problems(at32);
    ASSERT_NE(std::find(p.begin(), p.end(), CurveProblem::SpotCheck), p.end());
    const CurveFinding& spot = at32[static_cast<std::size_t>(std::find(p.begin(), p.end(), CurveProblem::SpotCheck) - p.begin())];
    EXPECT_EQ(spot.referenceTerms, 48);
    EXPECT_GT(std::fabs(spot.conditional - spot.conditionalOther), kAgreement);
    EXPECT_TRUE(checkWaitingTimeCurves(hundred, 48, t,
                                       only(InversionAlgorithm::Talbot, invert(hundred, InversionAlgorithm::Talbot, 48, t)))
                    .empty());
}

TEST(SpotMoments, SpreadOverTheGridEndAtTheLastAndKeepToTheirShareOfTheWork) {
    EXPECT_EQ(spotMoments(100, 32, 48, 20), (std::vector<std::size_t>{12, 24, 37, 49, 62, 74, 87, 99}));
    EXPECT_EQ(spotMoments(3, 32, 48, 20), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_TRUE(spotMoments(0, 32, 48, 20).empty());
    // examples/large: 100 moments of 32 Talbot terms at r = 1000.
    const std::vector<std::size_t> large = spotMoments(100, 32, 48, 1000);
    EXPECT_EQ(large.size(), 5u);
    EXPECT_EQ(large.back(), 99u);
    const double share = large.size() * 48.0 / (100 * 32.0);
    EXPECT_LE(share, kSpotCheckShare);
    EXPECT_EQ(spotCheckTerms(32), 48);
    EXPECT_EQ(spotCheckTerms(96), 48);
}
