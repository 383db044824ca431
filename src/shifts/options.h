#pragma once
// The command line of queuecalc-shifts.

#include <optional>
#include <string>
#include <vector>

#include "core/failure.h"

namespace queuecalc {
namespace shifts {

struct ShiftsOptions {
    bool help = false;
    std::string requirementsPath;
    std::string templatesPath;
    std::string outPath;       // empty: standard output
    std::string coveragePath;  // empty: none
    std::string htmlPath;      // empty: none
    int intervalMinutes = 30;
    std::string column;  // the requirement's column in a plan: "scheduled" or "agents"; empty: "required", else "scheduled"
    std::optional<int> maxStarts;
    double timeLimitSeconds = 120;
};

// Parses the arguments after the program name. Throws UsageError.
ShiftsOptions parseShiftsOptions(const std::vector<std::string>& args);

std::string shiftsUsageText();

}  // namespace shifts
}  // namespace queuecalc
