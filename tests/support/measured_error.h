#pragma once
// The one way the cross-checks report the worst error they saw: a line on
// standard output that `ctest --output-on-failure -V` shows,
//   [measured] <subject>: worst <kind> error 1.55e-14 at <where> (tolerance 1e-12)
// and the same figure as a property of the test in gtest's XML report.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace testsupport {

enum class ErrorKind { Absolute, Relative };

inline void reportWorstError(const std::string& subject, ErrorKind kind, double worst,
                             double tolerance, const std::string& where = std::string()) {
    char figures[96];
    std::snprintf(figures, sizeof figures, "%.3g", worst);
    std::string line = "[measured] " + subject + ": worst " +
                       (kind == ErrorKind::Absolute ? "absolute" : "relative") + " error " + figures;
    if (!where.empty()) line += " at " + where;
    std::snprintf(figures, sizeof figures, "%.3g", tolerance);
    line += std::string(" (tolerance ") + figures + ")";
    std::printf("%s\n", line.c_str());
    ::testing::Test::RecordProperty(kind == ErrorKind::Absolute ? "worstAbsoluteError" : "worstRelativeError",
                                    line);
}

}  // namespace testsupport
