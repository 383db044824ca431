// The console summary: labels, block headings and field widths.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "report/console_report.h"

using namespace queuecalc;

namespace {

PerformanceMeasures someMeasures() {
    PerformanceMeasures m;
    m.noWaitProb = 0.454288;
    m.abandonProb = 0.0844424;
    m.meanWaitServed = 0.160254;
    m.varianceServed = 2.5e-5;
    m.meanWaitAbandon = std::numeric_limits<double>::quiet_NaN();
    m.varianceAbandon = -0.0;
    m.servedProb = 0.99;  // not shown
    return m;
}

const char* const kMeasureLines =
    "P(W=0)   : 0.454288\n"
    "P(A)     : 0.0844424\n"
    "E[W|S]   : 0.160254\n"
    "Var(W|S) : 2.5e-005\n"
    "E[W|A]   : nan\n"
    "Var(W|A) : -0\n";

// The curves of the algorithms that ran: a null pointer is an algorithm that
// did not run.
std::string print(const std::vector<double>& grid, const std::vector<double>* euler,
                  const std::vector<double>* talbot) {
    InversionResults curves;
    if (euler) curves.euler = WaitingTimeCurves{*euler, *euler, *euler};
    if (talbot) curves.talbot = WaitingTimeCurves{*talbot, *talbot, *talbot};
    std::ostringstream out;
    printConsoleReport(out, someMeasures(), grid, curves);
    return out.str();
}

const std::vector<double> kNone;

}  // namespace

TEST(ConsoleReport, PadsMomentsToFiveAndProbabilitiesToEightCharacters) {
    const std::vector<double> grid{0.5, 10.25, 123456.5};
    const std::vector<double> euler{0.25, 1.0, 1.5e-5};
    const std::vector<double> talbot{1.23456789e-5, 0.5, 1.0};
    EXPECT_EQ(print(grid, &euler, nullptr),
              std::string(kMeasureLines) +
                  "Euler inversion:\n"
                  "Time:   0.5  -+- P(W<=t | S):     0.25\n"
                  "Time: 10.25  -+- P(W<=t | S):        1\n"
                  "Time: 123456  -+- P(W<=t | S): 1.5e-005\n");
    EXPECT_EQ(print(grid, &euler, &talbot),
              std::string(kMeasureLines) +
                  "Euler & Talbot inversion:\n"
                  "Time:   0.5  -+- P(W<=t | S):     0.25 -+- 1.23457e-005\n"
                  "Time: 10.25  -+- P(W<=t | S):        1 -+-      0.5\n"
                  "Time: 123456  -+- P(W<=t | S): 1.5e-005 -+-        1\n");
    EXPECT_EQ(print(grid, nullptr, &talbot),
              std::string(kMeasureLines) +
                  "Talbot inversion:\n"
                  "Time:   0.5  -+- P(W<=t | S): 1.23457e-005\n"
                  "Time: 10.25  -+- P(W<=t | S):      0.5\n"
                  "Time: 123456  -+- P(W<=t | S):        1\n");
}

TEST(ConsoleReport, WithoutMomentsPrintsTheMeasuresAndTheHeadingOnly) {
    EXPECT_EQ(print({}, &kNone, nullptr), std::string(kMeasureLines) + "Euler inversion:\n");
    EXPECT_EQ(print({}, &kNone, &kNone), std::string(kMeasureLines) + "Euler & Talbot inversion:\n");
    EXPECT_EQ(print({}, nullptr, &kNone), std::string(kMeasureLines) + "Talbot inversion:\n");
}
