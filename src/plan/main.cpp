// queuecalc-plan: staffs every interval of a forecast and writes the plan as
// CSV, and on request a report with charts. See planUsageText() (--help) and
// the README.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/day_plan.h"
#include "analysis/staffing.h"
#include "core/failure.h"
#include "core/share_text.h"
#include "input/forecast.h"
#include "plan/options.h"
#include "report/command_line.h"
#include "report/file_replace.h"
#include "report/plan_report.h"
#include "report/progress_line.h"
#include "report/standard_error.h"
#include "core/echo_text.h"

namespace {

using namespace queuecalc;
using namespace queuecalc::plan;

const char* const kProgram = "queuecalc-plan";

int run(const PlanOptions& options, ErrorStream& err) {
    for (const std::string& reading : options.readings) std::cerr << kProgram << ": " << reading << "\n";
    for (const std::string& remark : options.remarks) std::cerr << kProgram << ": " << remark << "\n";
    Forecast forecast;
    try {
        forecast = readForecastFile(options.forecastPath, options.format);
    } catch (const ForecastError& error) {
        std::cerr << kProgram << ": " << error.what() << "\n";
        return 2;
    }
    std::vector<std::string> readings, remarks;
    for (const std::string& note : forecast.notes) std::cerr << kProgram << ": " << echoText(options.forecastPath, kWholeText) << ": " << note << "\n";
    const DayPlanSettings settings = planSettings(options, forecast, &readings, &remarks);
    for (const std::string& reading : readings) std::cerr << kProgram << ": " << reading << "\n";
    for (const std::string& remark : remarks) std::cerr << kProgram << ": " << remark << "\n";
    const std::string clash = clashingColumn(forecast, settings);
    if (!clash.empty()) {
        std::cerr << kProgram << ": " << echoText(options.forecastPath, kWholeText) << ": " << clash << "\n";
        return 2;
    }

    DayPlan plan;
    try {
        ProgressLine progress(err, 0);
        DayPlanControl control;
        control.progress = [&](std::size_t done, std::size_t total) { progress.count(kProgram, done, total, "intervals"); };
        plan = planDay(forecast, settings, !options.htmlPath.empty(), control);
    } catch (const RunFailure& failure) {
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return 2;
    }
    // The variants, each planned on the same intervals with the same settings.
    std::vector<PlanVariant> variants;
    try {
        for (const ForecastVariant& v : options.variants)
            variants.push_back({v.text, planDay(variantForecast(v, forecast, options.format), settings)});
    } catch (const RunFailure& failure) {
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return 2;
    }
    const PlanTable table = planTable(forecast, settings, plan, variants);
    std::ostringstream csv;
    writePlanCsv(csv, table);

    // Everything is computed before anything is written.
    int status = plan.allMet ? 0 : 1;
    if (!options.htmlPath.empty()) {
        const std::string failure =
            replaceFile(options.htmlPath, planHtml(options.forecastPath, forecast, settings, plan, variants));
        if (!failure.empty()) {
            std::cerr << kProgram << ": cannot write '" << echoText(options.htmlPath, kWholeText) << "': " << failure << "\n";
            status = 1;
        }
    }
    if (options.outPath.empty()) {
#ifdef _WIN32
        std::cout.flush();
        _setmode(_fileno(stdout), _O_BINARY);  // the records carry their own CR LF
#endif
        std::cout << csv.str() << std::flush;
        if (!std::cout) {
            std::cerr << kProgram << ": writing to standard output failed\n";
            status = 1;
        }
    } else {
        const std::string failure = replaceFile(options.outPath, csv.str());
        if (!failure.empty()) {
            std::cerr << kProgram << ": cannot write '" << echoText(options.outPath, kWholeText) << "': " << failure << "\n";
            status = 1;
        }
    }
    if (plan.throughLoss > 0)
        std::cerr << kProgram << ": " << plan.throughLoss << " of " << plan.intervals.size()
                  << " intervals meet their targets while more than " << formatShare(kLossWarning)
                  << " of the calls are lost (up to " << formatFixed(plan.worstLoss * 100, 2) << " %"
                  << "): give more --waiting-places or --lines (see their note)\n";
    if (!plan.allMet) {
        std::cerr << kProgram << ": " << plan.unmet << " of " << plan.intervals.size()
                  << " intervals miss a target (see their note)\n";
    }
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
        std::vector<NamedFile> inputs = {{"the forecast", options.forecastPath}};
        for (const ForecastVariant& v : options.variants)
            if (v.kind == ForecastVariant::Kind::File) inputs.push_back({"--compare", v.path});
        checkDistinctFiles(inputs, {{"--out", options.outPath}, {"--html", options.htmlPath}});
        return run(options, err);
    } catch (const UsageError& error) {
        std::cerr << kProgram << ": " << error.what() << " (see --help)\n";
        return 2;
    }
}
