// Shift schedules timed: the examples' day and week, and the week with its
// breaks on a 15-minute grid (a harder search), each solved by CBC on one
// thread. Prints the elapsed time, the cost, the bound and the gap of each;
// the targets are a day in under 2 s and a week within 0.5 % of the optimum
// in under 60 s.
//   queuecalc_shifts_bench [TIME-LIMIT-SECONDS [CASE]]   (default 60 s, every case; CASE from 1)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "schedule/shifts.h"

using namespace queuecalc::schedule;

int main(int argc, char** argv) {
    const double limit = argc > 1 ? std::atof(argv[1]) : 60;
    const std::string examples = QUEUECALC_SOURCE_DIR "/examples/shifts/";
    struct Case {
        const char* name;
        std::string requirements, templates;
    };
    const std::vector<Case> cases = {
        {"day (56 quarter-hours, 2 templates)", examples + "day-requirements.csv", examples + "day-templates.csv"},
        {"week (672 quarter-hours, 3 templates, breaks every 30 min)", examples + "week-requirements.csv",
         examples + "week-templates.csv"},
        {"week, breaks every 15 min", examples + "week-requirements.csv",
         QUEUECALC_SOURCE_DIR "/tests/data/shifts/week-fine-break-templates.csv"},
    };
    static const char* const kStatus[] = {"optimal", "time limit", "no roster in time", "uncoverable", "infeasible"};
    const int only = argc > 2 ? std::atoi(argv[2]) : 0;
    for (const Case& c : cases) {
        if (only > 0 && &c != &cases[static_cast<std::size_t>(only - 1)]) continue;
        const Requirements r = readRequirements(readFileText(c.requirements), c.requirements, 15);
        const std::vector<ShiftTemplate> t = readTemplates(readFileText(c.templates), c.templates, r);
        ScheduleSettings settings;
        settings.timeLimitSeconds = limit;
        const Schedule s = solveSchedule(r, t, settings);
        std::printf("%-60s %6d columns %6.2f s  cost %g  bound %g  gap %.2f %%  %s\n", c.name, s.variables, s.seconds,
                    s.cost, s.bound, s.gap * 100, kStatus[static_cast<int>(s.status)]);
    }
    return 0;
}
