// queuecalc-sweep: the queue calculator over a grid of scenarios, with
// service levels at chosen thresholds and staffing searches; one CSV row per
// scenario. See usageText() (--help) and the README.
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/failure.h"
#include "input/binomial_table.h"
#include "input/model_input.h"
#include "report/file_replace.h"
#include "sweep/options.h"
#include "sweep/sweep_run.h"
#include "sweep/usage_error.h"

namespace {

using namespace queuecalc;
using namespace queuecalc::sweep;

const char* const kProgram = "queuecalc-sweep";

// A progress line on a terminal, from about a second into the sweep on,
// redrawn at most five times a second and erased at the end.
class ProgressLine {
public:
    ProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()), last_(start_) {}
    ~ProgressLine() {
        if (shown_) std::cerr << "\r\033[K" << std::flush;
    }
    void operator()(std::size_t written, std::size_t total) {
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        shown_ = true;
        std::cerr << "\r" << kProgram << ": " << written << " of " << total << " rows" << std::flush;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_, last_;
};

int run(const SweepOptions& options) {
    SweepPlan plan;
    try {
        plan.base = readModelInputFile(options.inputPath, nullptr, options.inputPath);
    } catch (const RunFailure& failure) {
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return 1;
    }
    for (const FieldSetting& s : options.settings) setModelField(plan.base, *s.field, s.value);
    plan.grid = ScenarioGrid(options.varied);
    plan.evaluation.moments = options.moments;
    plan.evaluation.method = options.method;
    plan.staff = options.staff;
    plan.staffed = options.staffed;
    plan.staffLimit = options.staffLimit;
    plan.targets = options.targets;
    plan.shard = options.shard;
    plan.header = options.header;
    plan.jobs = options.jobs;

    // The table beside the input when there is one, read by the calculator's
    // reader; its dimension is checked per scenario against that scenario's
    // number of terms.
    const std::filesystem::path table =
        std::filesystem::path(options.inputPath).parent_path() / kBinomialFileName;
    auto binomials = std::make_unique<BinomialRows>();
    if (std::filesystem::exists(table)) {
        try {
            binomials = std::make_unique<BinomialRows>(
                readBinomialTableFile(table.string(), 0, InversionChoice::Talbot, table.string()));
        } catch (const RunFailure& failure) {
            std::cerr << kProgram << ": " << failure.what() << "\n";
            return 1;
        }
    }

    ProgressLine progress;
    const SweepProgress report = [&](std::size_t written, std::size_t total) { progress(written, total); };
    SweepSummary summary;
    if (options.outPath.empty()) {
#ifdef _WIN32
        // The rows carry their own CR LF; a text-mode standard output would
        // add a CR before each LF.
        std::cout.flush();
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        summary = runSweep(plan, *binomials, std::cout, report);
        std::cout.flush();
        if (!std::cout) {
            std::cerr << kProgram << ": writing to standard output failed\n";
            return 1;
        }
    } else {
        // Complete and on disk before it takes the name: a sweep that fails
        // or is interrupted leaves an earlier file whole.
        FileReplacement out(options.outPath);
        if (out.failure().empty()) summary = runSweep(plan, *binomials, out.stream(), report);
        const std::string failure = out.commit();
        if (!failure.empty()) {
            std::cerr << kProgram << ": cannot write '" << options.outPath << "': " << failure << "\n";
            return 1;
        }
    }
    return summary.failedRows > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const SweepOptions options = parseOptions(args, std::max(1u, std::thread::hardware_concurrency()));
        if (options.help) {
            std::cout << usageText();
            return 0;
        }
        return run(options);
    } catch (const UsageError& error) {
        std::cerr << kProgram << ": " << error.what() << " (see --help)\n";
        return 2;
    }
}
