#include "shifts/options.h"

#include "core/echo_text.h"
#include "core/number_text.h"
#include "cli/command_line.h"
#include "schedule/shifts.h"

namespace queuecalc {
namespace shifts {

ShiftsOptions parseShiftsOptions(const std::vector<std::string>& args) {
    ShiftsOptions options;
    CommandLine line(args);
    std::vector<std::string> files;
    while (line.next()) {
        const std::string& option = line.option();
        const auto fileName = [&](std::string& target) {
            target = line.takeValue();
            if (target.empty()) throw UsageError(option + " needs a file name");
        };
        if (option == "--help" || option == "-h") {
            line.noValue();
            options.help = true;
        } else if (option == "--out") {
            fileName(options.outPath);
        } else if (option == "--coverage") {
            fileName(options.coveragePath);
        } else if (option == "--html") {
            fileName(options.htmlPath);
        } else if (option == "--interval-minutes") {
            options.intervalMinutes = static_cast<int>(wholeOption(option, line.takeValue(), 1, 1440));
            if (1440 % options.intervalMinutes != 0)
                throw UsageError("--interval-minutes must divide a day (such as 15, 30 or 60)");
        } else if (option == "--column") {
            options.column = line.takeValue();
            if (options.column != "scheduled" && options.column != "agents")
                throw UsageError("--column '" + echoText(options.column) + "': expected scheduled or agents");
        } else if (option == "--max-starts") {
            options.maxStarts = static_cast<int>(wholeOption(option, line.takeValue(), 1, 1440));
        } else if (option == "--time-limit") {
            const std::string text = line.takeValue();
            double seconds = 0;
            if (!readFiniteNumber(text, seconds) || !(seconds > 0) || seconds > schedule::kMostSolveSeconds)
                throw UsageError("--time-limit '" + echoText(text) + "': expected seconds above 0");
            options.timeLimitSeconds = seconds;
        } else if (option.size() > 1 && option[0] == '-') {
            throw UsageError("unknown option '" + echoText(option) + "'");
        } else {
            files.push_back(option);
        }
    }
    if (options.help) return options;
    if (files.size() != 2)
        throw UsageError("expected two files, the requirements and the templates (" + std::to_string(files.size()) +
                         " given)");
    options.requirementsPath = files[0];
    options.templatesPath = files[1];
    return options;
}

std::string shiftsUsageText() {
    return "Usage: queuecalc-shifts REQUIREMENTS.csv TEMPLATES.csv [options]\n"
           "\n"
           "Finds the shifts of least cost that give every interval the agents it requires: which templates\n"
           "start when, how many agents on each, and when each takes the break. CSV files with a header,\n"
           "columns in any order, durations in minutes.\n"
           "\n"
           "REQUIREMENTS.csv: day (optional, any label), interval (HH:MM), required (agents working, net of\n"
           "  breaks; may be fractional: covered with whole agents). An interval that is not listed is closed:\n"
           "  nobody is scheduled there. A plan written by queuecalc-plan is read as it is (see --column).\n"
           "TEMPLATES.csv: name, days ('all' or day labels separated by spaces), earliest_start and\n"
           "  latest_start (HH:MM), start_step_min, length_min (on site, break included), cost; optional:\n"
           "  break_min (one unpaid break), break_earliest_min and break_latest_min (its start, minutes after\n"
           "  the shift's start), break_step_min (default: the interval length), min_per_day, max_per_day,\n"
           "  max_total (over the whole horizon). A night shift counts on the day it starts.\n"
           "\n"
           "Options:\n"
           "  --out FILE             the roster (default: standard output): template,day,start,end,agents,\n"
           "                         break_starts\n"
           "  --coverage FILE        per interval: day,interval,required,working,on_break,over,under\n"
           "  --html FILE            a report with charts, one HTML file\n"
           "  --interval-minutes M   length of an interval (default 30)\n"
           "  --column scheduled|agents  the requirement in a plan's CSV (default: required, else scheduled)\n"
           "  --max-starts N         at most N distinct start times a day\n"
           "  --time-limit SECONDS   stop the search after this elapsed time (default 120)\n"
           "  --help                 this text\n"
           "\n"
           "The cost, its lower bound and the gap go to standard error. Exit status 0 with a roster (also when\n"
           "the time limit stopped the search: then a note states the gap), 1 when the requirements cannot be\n"
           "covered (the intervals are named), no roster was found in time, or a file cannot be written, 2\n"
           "for a bad command line or file (nothing is written then).\n";
}

}  // namespace shifts
}  // namespace queuecalc
