// queuecalc-shifts: the least-cost shifts and breaks that cover the agents
// required per interval. See shiftsUsageText() (--help) and the README.
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/echo_text.h"
#include "report/command_line.h"
#include "report/file_replace.h"
#include "report/shift_report.h"
#include "schedule/shifts.h"
#include "shifts/options.h"

namespace {

using namespace queuecalc;
using namespace queuecalc::schedule;
using namespace queuecalc::shifts;

const char* const kProgram = "queuecalc-shifts";
// Intervals named in a message about requirements that cannot be covered.
constexpr std::size_t kNamedIntervals = 12;

std::string intervalName(const Requirements& r, int k) {
    const int day = k / r.intervalsPerDay();
    const std::string& label = r.days[static_cast<std::size_t>(day)];
    return (label.empty() ? std::string() : echoText(label) + " ") + clockText(k * r.intervalMinutes, day);
}

int run(const ShiftsOptions& options) {
    Requirements requirements;
    std::vector<ShiftTemplate> templates;
    try {
        requirements = readRequirements(readFileText(options.requirementsPath), options.requirementsPath,
                                        options.intervalMinutes, options.column);
        templates = readTemplates(readFileText(options.templatesPath), options.templatesPath, requirements);
    } catch (const ScheduleInputError& error) {
        std::cerr << kProgram << ": " << error.what() << "\n";
        return 2;
    }
    ScheduleSettings settings;
    settings.maxStarts = options.maxStarts;
    settings.timeLimitSeconds = options.timeLimitSeconds;
    settings.progress = [](const SolveProgress& p) {
        std::cerr << kProgram << ": " << std::fixed << std::setprecision(0) << p.seconds << " s, best cost "
                  << (p.best ? formatDigits(*p.best, 10) : std::string("none yet")) << ", bound "
                  << formatDigits(p.bound, 10) << "\n";
        std::cerr.unsetf(std::ios::floatfield);
    };
    Schedule schedule;
    try {
        schedule = solveSchedule(requirements, templates, settings);
    } catch (const RunFailure& failure) {
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return 1;
    }
    switch (schedule.status) {
        case ScheduleStatus::Uncoverable: {
            std::string names;
            for (std::size_t i = 0; i < schedule.uncoverable.size() && i < kNamedIntervals; ++i)
                names += (i ? ", " : "") + intervalName(requirements, schedule.uncoverable[i]);
            if (schedule.uncoverable.size() > kNamedIntervals)
                names += " and " + std::to_string(schedule.uncoverable.size() - kNamedIntervals) + " more";
            std::cerr << kProgram << ": no template can work in " << schedule.uncoverable.size()
                      << " interval(s) that require agents: " << names << "\n";
            return 1;
        }
        case ScheduleStatus::Infeasible:
            std::cerr << kProgram << ": no roster covers the requirements within the templates' limits "
                         "(min_per_day, max_per_day, max_total"
                      << (options.maxStarts ? ", --max-starts" : "") << ")\n";
            return 1;
        case ScheduleStatus::NoRosterInTime:
            std::cerr << kProgram << ": the time limit (" << formatDigits(options.timeLimitSeconds, 6)
                      << " s) ended the search before any roster was found; nothing written\n";
            return 1;
        case ScheduleStatus::Optimal:
        case ScheduleStatus::TimeLimit: break;
    }
    const std::string roster = rosterCsv(requirements, templates, schedule);
    int status = 0;
    const auto write = [&](const std::string& option, const std::string& path, const std::string& bytes) {
        const std::string failure = replaceFile(path, bytes);
        if (!failure.empty()) {
            std::cerr << kProgram << ": cannot write " << option << " '" << echoText(path, kWholeText) << "': " << failure << "\n";
            status = 1;
        }
    };
    if (!options.coveragePath.empty())
        write("--coverage", options.coveragePath, coverageCsv(requirements, templates, schedule));
    if (options.outPath.empty()) {
        std::cout << roster << std::flush;
        if (!std::cout) {
            std::cerr << kProgram << ": writing to standard output failed\n";
            status = 1;
        }
    } else {
        write("--out", options.outPath, roster);
    }
    std::cerr << kProgram << ": " << scheduleSummary(requirements, templates, schedule)
              << (schedule.status == ScheduleStatus::Optimal ? " (optimal)" : "") << "\n";
    if (schedule.status == ScheduleStatus::TimeLimit)
        std::cerr << kProgram << ": note: the time limit (" << formatDigits(options.timeLimitSeconds, 6)
                  << " s) ended the search; the roster is the best found, not proven optimal, and another run "
                     "may stop at another one\n";
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const ShiftsOptions options = parseShiftsOptions(args);
        if (options.help) {
            std::cout << shiftsUsageText();
            return 0;
        }
        checkDistinctFiles({{"the requirements", options.requirementsPath}, {"the templates", options.templatesPath}},
                           {{"--out", options.outPath}, {"--coverage", options.coveragePath}, {"--html", options.htmlPath}});
        return run(options);
    } catch (const UsageError& error) {
        std::cerr << kProgram << ": " << error.what() << " (see --help)\n";
        return 2;
    }
}
