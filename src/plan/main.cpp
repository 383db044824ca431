// queuecalc-plan: staffs every interval of a forecast and writes the plan as
// CSV, and on request a report with charts. See planUsageText() (--help) and
// the README.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/day_plan.h"
#include "analysis/staffing.h"
#include "core/failure.h"
#include "input/forecast.h"
#include "plan/options.h"
#include "cli/command_line.h"
#include "io/file_replace.h"
#include "report/plan_report.h"
#include "report/progress_line.h"
#include "io/standard_error.h"
#include "core/echo_text.h"
#ifdef QUEUECALC_WITH_SCHEDULE
#include "report/shift_report.h"
#include "schedule/shifts.h"
#endif

namespace {

using namespace queuecalc;
using namespace queuecalc::plan;

const char* const kProgram = "queuecalc-plan";

#ifdef QUEUECALC_WITH_SCHEDULE
// The shifts that cover the plan's scheduled agents (its CSV read as
// requirements, a fractional need covered by whole agents), as the roster's
// CSV; empty after a failure, which is told on standard error with its
// status in `status` (2 for a bad file, 1 for no roster).
struct PlanRoster {
    std::string csv;
    std::string summary;
    std::string coverage;
    int status = 0;
};

// `minutes`: the plan's interval length, as given or read from the labels.
PlanRoster planRoster(const PlanOptions& options, double minutes, const std::string& planCsv) {
    using namespace queuecalc::schedule;
    PlanRoster out;
    Requirements requirements;
    std::vector<ShiftTemplate> templates;
    try {
        if (minutes != std::floor(minutes))
            throw ScheduleInputError("shifts need whole-minute intervals (--interval-minutes)", 0, 0);
        requirements = readRequirements(planCsv, options.forecastPath, static_cast<int>(minutes), "scheduled");
        templates = readTemplates(readFileText(options.shiftsPath), options.shiftsPath, requirements);
    } catch (const ScheduleInputError& error) {
        std::cerr << kProgram << ": " << error.what() << "\n";
        out.status = 2;
        return out;
    }
    ScheduleSettings settings;
    const Schedule schedule = solveSchedule(requirements, templates, settings);
    const std::string failure = scheduleFailure(requirements, schedule, settings);
    if (!failure.empty()) {
        std::cerr << kProgram << ": " << failure << "; no roster written\n";
        out.status = 1;
        return out;
    }
    out.csv = rosterCsv(requirements, templates, schedule);
    out.coverage = coverageSections(requirements, templates, schedule);
    out.summary = "roster: " + scheduleSummary(requirements, templates, schedule) +
                  (schedule.status == ScheduleStatus::Optimal ? " (optimal)" : "");
    const std::string note = scheduleNote(schedule, settings);
    if (!note.empty()) out.summary += "\n" + std::string(kProgram) + ": note: " + note;
    return out;
}
#endif

// The forecast and the settings over it, with their readings, notes and
// remarks on standard error; false after a failure, told there too (status 2).
bool readForecastAndSettings(const PlanOptions& options, Forecast& forecast, DayPlanSettings& settings) {
    for (const std::string& reading : options.readings) std::cerr << kProgram << ": " << reading << "\n";
    try {
        forecast = readForecastFile(options.forecastPath, options.format);
    } catch (const ForecastError& error) {
        std::cerr << kProgram << ": " << error.what() << "\n";
        return false;
    }
    std::vector<std::string> readings, remarks;
    for (const std::string& note : forecast.notes) std::cerr << kProgram << ": " << echoText(options.forecastPath, kWholeText) << ": " << note << "\n";
    settings = planSettings(options, forecast, &readings, &remarks);
    for (const std::string& reading : readings) std::cerr << kProgram << ": " << reading << "\n";
    for (const std::string& remark : remarks) std::cerr << kProgram << ": " << remark << "\n";
    const std::string clash = clashingColumn(forecast, settings);
    if (!clash.empty()) {
        std::cerr << kProgram << ": " << echoText(options.forecastPath, kWholeText) << ": " << clash << "\n";
        return false;
    }
    return true;
}

// The plan of the forecast, with the progress line, and its variants; false
// after a failure, told on standard error (status 2).
bool planWithVariants(const PlanOptions& options, const Forecast& forecast, const DayPlanSettings& settings,
                      ErrorStream& err, DayPlan& plan, std::vector<PlanVariant>& variants) {
    try {
        ProgressLine progress(err, 0);
        DayPlanControl control;
        control.progress = [&](std::size_t done, std::size_t total) { progress.count(kProgram, done, total, "intervals"); };
        plan = planDay(forecast, settings, !options.htmlPath.empty(), control);
    } catch (const RunFailure& failure) {
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return false;
    }
    // The variants, each planned on the same intervals with the same settings.
    try {
        for (const ForecastVariant& v : options.variants)
            variants.push_back({v.text, planDay(variantForecast(v, forecast, options), settings)});
    } catch (const RunFailure& failure) {
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return false;
    }
    return true;
}

// The output files, put in place together, and what kept any of them from
// being written.
class WrittenFiles {
public:
    explicit WrittenFiles(std::vector<WholeFile> files)
        : files_(std::move(files)), failures_(replaceFilesTogether(files_)) {}

    // Tells on standard error why `path` could not be written, if it could
    // not, and then sets `status` to 1; whether it could not.
    bool reportFailure(const std::string& path, int& status) const {
        const std::string failure = failureOf(path);
        if (failure.empty()) return false;
        std::cerr << kProgram << ": cannot write '" << echoText(path, kWholeText) << "': " << failure << "\n";
        status = 1;
        return true;
    }

private:
    std::string failureOf(const std::string& path) const {
        for (std::size_t i = 0; i < files_.size(); ++i)
            if (files_[i].path == path && !path.empty()) return failures_[i];
        return std::string();
    }

    std::vector<WholeFile> files_;
    std::vector<std::string> failures_;
};

// The plan's CSV on standard output where no --out is given, else the
// failure to write --out if there was one; `status` 1 after a failure.
void deliverCsv(const PlanOptions& options, const std::string& csv, const WrittenFiles& written, int& status) {
    if (options.outPath.empty()) {
#ifdef _WIN32
        std::cout.flush();
        _setmode(_fileno(stdout), _O_BINARY);  // the records carry their own CR LF
#endif
        std::cout << csv << std::flush;
        if (!std::cout) {
            std::cerr << kProgram << ": writing to standard output failed\n";
            status = 1;
        }
    } else {
        written.reportFailure(options.outPath, status);
    }
}

// The intervals whose targets are met only by losing calls, on standard error.
void warnOfLoss(const DayPlan& plan) {
    const std::string warning = lossWarning(plan, "--waiting-places or --lines");
    if (!warning.empty()) std::cerr << kProgram << ": " << warning << "\n";
}

// The intervals that miss a target, on standard error.
void warnOfUnmet(const DayPlan& plan) {
    const std::string warning = unmetWarning(plan);
    if (!warning.empty()) std::cerr << kProgram << ": " << warning << "\n";
}

int run(const PlanOptions& options, ErrorStream& err) {
    Forecast forecast;
    DayPlanSettings settings;
    if (!readForecastAndSettings(options, forecast, settings)) return 2;
    DayPlan plan;
    std::vector<PlanVariant> variants;
    if (!planWithVariants(options, forecast, settings, err, plan, variants)) return 2;
    const PlanTable table = planTable(forecast, settings, plan, variants);
    std::ostringstream csv;
    writePlanCsv(csv, table);

    int status = plan.allMet ? 0 : 1;
#ifdef QUEUECALC_WITH_SCHEDULE
    PlanRoster roster;
    if (!options.shiftsPath.empty()) {
        roster = planRoster(options, settings.intervalMinutes, csv.str());
        if (roster.status == 2) return 2;
        status = std::max(status, roster.status);
    }
#endif

    std::string coverage;  // the roster's coverage charts, for the report
#ifdef QUEUECALC_WITH_SCHEDULE
    coverage = roster.coverage;
#endif

    // Everything is computed before anything is written, and the files are
    // put in place together: a signal leaves all of them new or all as they
    // were.
    std::vector<WholeFile> files;
    if (!options.htmlPath.empty())
        files.push_back({options.htmlPath, planHtml(options.forecastPath, forecast, settings, plan, variants, coverage)});
    if (!options.outPath.empty()) files.push_back({options.outPath, csv.str()});
#ifdef QUEUECALC_WITH_SCHEDULE
    if (!roster.csv.empty()) files.push_back({options.rosterPath, roster.csv});
#endif
    const WrittenFiles written(std::move(files));
    written.reportFailure(options.htmlPath, status);
    deliverCsv(options, csv.str(), written, status);
    warnOfLoss(plan);
#ifdef QUEUECALC_WITH_SCHEDULE
    if (!roster.csv.empty() && !written.reportFailure(options.rosterPath, status))
        std::cerr << kProgram << ": " << roster.summary << "\n";
#endif
    warnOfUnmet(plan);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // First, before any file is opened (see ProcessStandardError).
    ProcessStandardError err;
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const PlanOptions options = parsePlanOptions(args, std::max(1u, std::thread::hardware_concurrency()));
        if (options.help) {
            std::cout << planUsageText();
            return 0;
        }
        std::vector<NamedFile> inputs = {{"the forecast", options.forecastPath}, {"--shifts", options.shiftsPath}};
        for (const ForecastVariant& v : options.variants)
            if (v.kind == ForecastVariant::Kind::File) inputs.push_back({"--compare", v.path});
        checkDistinctFiles(inputs, {{"--out", options.outPath}, {"--html", options.htmlPath}, {"--roster", options.rosterPath}});
        return run(options, err);
    } catch (const UsageError& error) {
        std::cerr << kProgram << ": " << error.what() << " (see --help)\n";
        return 2;
    }
}
