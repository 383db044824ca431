#pragma once
// The command line of queuecalc-sweep.

#include <string>
#include <vector>

#include <optional>

#include "analysis/evaluation.h"
#include "cli/grid_options.h"
#include "analysis/staffing.h"

namespace queuecalc {
namespace sweep {

struct SweepOptions {
    bool help = false;
    std::string inputPath = "INPUT.DAT";
    std::vector<FieldSetting> settings;  // --set, in order
    std::vector<FieldValues> varied;     // --vary, the last varying fastest
    // --at values, then thresholds that only targets name, each once.
    std::vector<double> moments;
    QueueModelChoice model = QueueModelChoice::Exact;  // --model
    std::optional<WaitingMethod> method;  // --method (the chain's); none: defaultMethod (exact)
    std::vector<Target> targets;
    bool staff = false;
    StaffedField staffed = StaffedField::Servers;
    int staffLimit = 0;  // --staff-max; 0: the default
    std::string outPath; // empty: standard output
    std::string htmlPath; // empty: no charts
    unsigned jobs = 1;
    Shard shard;
    bool header = true;
};

// Parses the arguments after the program name; `cores` is the default of
// --jobs. Throws UsageError with a one-line message.
SweepOptions parseOptions(const std::vector<std::string>& args, unsigned cores);

std::string usageText();

}  // namespace sweep
}  // namespace queuecalc
