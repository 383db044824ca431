// queuecalc-shifts: the least-cost shifts and breaks that cover the agents
// required per interval. See shiftsUsageText() (--help) and the README.
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/echo_text.h"
#include "cli/command_line.h"
#include "io/file_replace.h"
#include "report/shift_report.h"
#include "schedule/shifts.h"
#include "shifts/options.h"

namespace {

using namespace queuecalc;
using namespace queuecalc::schedule;
using namespace queuecalc::shifts;

const char* const kProgram = "queuecalc-shifts";
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
                  << (p.bound ? formatDigits(*p.bound, 10) : std::string("not yet known")) << "\n";
        std::cerr.unsetf(std::ios::floatfield);
    };
    Schedule schedule;
    try {
        schedule = solveSchedule(requirements, templates, settings);
    } catch (const RunFailure& failure) {
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return 1;
    }
    const std::string failure = scheduleFailure(requirements, schedule, settings);
    if (!failure.empty()) {
        std::cerr << kProgram << ": " << failure << "; nothing written\n";
        return 1;
    }
    const std::string roster = rosterCsv(requirements, templates, schedule);
    int status = 0;
    // The files are put in place together: a signal leaves all of them new
    // or all as they were.
    std::vector<const char*> fileOptions;
    std::vector<WholeFile> files;
    if (!options.htmlPath.empty()) {
        fileOptions.push_back("--html");
        files.push_back({options.htmlPath, shiftsHtml(options.requirementsPath, requirements, templates, schedule, settings)});
    }
    if (!options.coveragePath.empty()) {
        fileOptions.push_back("--coverage");
        files.push_back({options.coveragePath, coverageCsv(requirements, templates, schedule)});
    }
    if (!options.outPath.empty()) {
        fileOptions.push_back("--out");
        files.push_back({options.outPath, roster});
    }
    const std::vector<std::string> failures = replaceFilesTogether(files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (failures[i].empty()) continue;
        std::cerr << kProgram << ": cannot write " << fileOptions[i] << " '" << echoText(files[i].path, kWholeText)
                  << "': " << failures[i] << "\n";
        status = 1;
    }
    if (options.outPath.empty()) {
        std::cout << roster << std::flush;
        if (!std::cout) {
            std::cerr << kProgram << ": writing to standard output failed\n";
            status = 1;
        }
    }
    std::cerr << kProgram << ": " << scheduleSummary(requirements, templates, schedule)
              << (schedule.status == ScheduleStatus::Optimal ? " (optimal)" : "") << "\n";
    const std::string note = scheduleNote(schedule, settings);
    if (!note.empty()) std::cerr << kProgram << ": note: " << note << "\n";
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
