// The day plan's speed question: a week of 15-minute intervals (672 rows,
// 20 to 2,000 calls each, handle times 180 to 600 s, lognormal patience of
// mean 180 s and coefficient of variation 1, SL 80/20, 30 % shrinkage)
// planned with the report (the busiest interval's close look, the CSV table
// and the HTML page), on 1 and on 2 threads. The forecast is made in memory
// from a fixed seed, so every run plans the same week; wall-clock times.

#include <benchmark/benchmark.h>

#include <random>
#include <sstream>
#include <string>

#include "analysis/day_plan.h"
#include "input/forecast.h"
#include "report/plan_report.h"

namespace queuecalc {
namespace {

Forecast week() {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> calls(20, 2000), aht(180, 600);
    const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    std::string text = "interval,calls,aht\r\n";
    for (const char* day : days)
        for (int quarter = 0; quarter < 96; ++quarter) {
            const int minutes = quarter * 15;
            const std::string hh = std::to_string(100 + minutes / 60).substr(1);
            const std::string mm = std::to_string(100 + minutes % 60).substr(1);
            text += std::string(day) + " " + hh + ":" + mm + "," + std::to_string(calls(random)) + "," +
                    std::to_string(aht(random)) + "\r\n";
        }
    std::istringstream in(text);
    return readForecast(in, "week.csv");
}

void planWeek(benchmark::State& state) {
    const Forecast forecast = week();
    DayPlanSettings settings;
    settings.intervalMinutes = 15;
    settings.patience.shape = PatienceShape::Lognormal;
    settings.patience.cv = 1;
    settings.patience.meanSeconds = 180;
    settings.jobs = static_cast<unsigned>(state.range(0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const DayPlan plan = planDay(forecast, settings, true);
        std::ostringstream csv;
        writePlanCsv(csv, planTable(forecast, settings, plan));
        const std::string html = planHtml("week.csv", forecast, settings, plan);
        bytes = csv.str().size() + html.size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["intervals"] = static_cast<double>(forecast.intervals.size());
    state.counters["output_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(planWeek)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace
}  // namespace queuecalc

BENCHMARK_MAIN();
