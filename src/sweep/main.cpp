// queuecalc-sweep: the queue calculator over a grid of scenarios, with
// service levels at chosen thresholds and staffing searches; one CSV row per
// scenario. See usageText() (--help) and the README.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include <functional>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/plan_run.h"
#include "core/failure.h"
#include "core/number_text.h"
#include "core/share_text.h"
#include "input/binomial_table.h"
#include "input/forecast.h"
#include "input/model_input.h"
#include "cli/command_line.h"
#include "report/csv.h"
#include "io/file_replace.h"
#include "report/finding_text.h"
#include "report/grid_report.h"
#include "report/measure_labels.h"
#include "report/progress_line.h"
#include "io/standard_error.h"
#include "report/sweep_table.h"
#include "sweep/options.h"
#include "core/echo_text.h"

namespace {

using namespace queuecalc;
using namespace queuecalc::sweep;

const char* const kProgram = "queuecalc-sweep";

// Passes every byte on to another buffer and hands each complete record
// (a line end outside quotes) to the charts, as it is written: only the
// record at hand is held.
class ChartingBuffer : public std::streambuf {
public:
    ChartingBuffer(std::streambuf* next, GridCharts& charts) : next_(next), charts_(charts) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        take(&byte, 1);
        return next_->sputc(byte);
    }
    std::streamsize xsputn(const char* bytes, std::streamsize size) override {
        take(bytes, static_cast<std::size_t>(size));
        return next_->sputn(bytes, size);
    }
    int sync() override { return next_->pubsync(); }

private:
    void take(const char* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            record_ += bytes[i];
            if (bytes[i] == '"') quoted_ = !quoted_;
            if (bytes[i] != '\n' || quoted_) continue;
            for (CsvRecord& r : readCsvRecords(record_, "rows")) charts_.addRow(r.fields);
            record_.clear();
        }
    }

    std::streambuf* next_;
    GridCharts& charts_;
    std::string record_;  // the record being written
    bool quoted_ = false;
};

// "BINOMDIST.DAT" beside the input: the binomial table the sweep reads when
// it is there.
std::string binomialTablePath(const SweepOptions& options) {
    return (std::filesystem::path(options.inputPath).parent_path() / kBinomialFileName).string();
}

// The page of the charts: every numeric column against the first varied
// field.
std::string chartsPage(const SweepOptions& options, const GridCharts& charts, const std::vector<std::string>& args) {
    std::string command = kProgram;
    for (const std::string& arg : args) command += " " + arg;
    return charts.html(std::string(kProgram) + ": " + options.inputPath, {command});
}

// The warnings about the input: each problem once, in the calculator's
// words, and in how many rows it was found when not in all.
void writeInputWarnings(ErrorStream& err, const PlanSummary& summary) {
    for (const PlanInputFinding& f : summary.inputFindings) {
        std::string text = warningText(findingText(f.finding));
        if (f.rows < summary.rows)
            text += "(" + std::to_string(f.rows) + " of the " + std::to_string(summary.rows) +
                    " rows, the first row " + std::to_string(f.firstRow + 1) + ")\n";
        err.write(text);
    }
}

// One line counting the rows whose values the checks reject, or that have
// none.
void writeSummary(ErrorStream& err, const PlanSummary& summary) {
    if (summary.rowsFailingChecks > 0)
        err.write(std::string(kProgram) + ": " + std::to_string(summary.rowsFailingChecks) + " of " +
                  std::to_string(summary.rows) +
                  " rows have impossible or untrustworthy values; their notes say why and what to do.\n");
    if (summary.rowsWithoutValues > 0)
        err.write(std::string(kProgram) + ": " + std::to_string(summary.rowsWithoutValues) + " of " +
                  std::to_string(summary.rows) + " rows have no values; their notes say why.\n");
    if (summary.answersThroughLoss > 0)
        err.write(std::string(kProgram) + ": " + std::to_string(summary.answersThroughLoss) + " of " +
                  std::to_string(summary.rows) + " staffing answers meet their targets while more than " +
                  formatShare(kLossWarning) + " of the calls are lost (P(Loss) above " + formatValue(kLossWarning) +
                  "): the waiting room turns callers away; give more waitingPlaces or a target such as P(Loss)<=" +
                  formatValue(kLossWarning) + ".\n");
}

// The plan of the sweep: the input with the settings over it, the grid, the
// evaluation and the staffing searches. The run-ons of the input are warned
// of; false after a failure to read it, told on standard error (status 1).
bool readSweepPlan(const SweepOptions& options, ErrorStream& err, SweepPlan& plan) {
    InputNotes notes;
    const auto writeRunOns = [&] {
        for (const InputWarning& w : checkRunOns(notes)) err.write(warningText(inputWarningText(w)));
    };
    try {
        plan.base = readModelInputFile(options.inputPath, &notes, options.inputPath);
    } catch (const RunFailure& failure) {
        writeRunOns();
        std::cerr << kProgram << ": " << failure.what() << "\n";
        return false;
    }
    writeRunOns();
    for (const FieldSetting& s : options.settings) setModelField(plan.base, *s.field, s.value);
    plan.grid = ScenarioGrid(options.varied);
    plan.evaluation.thresholds = options.moments;
    plan.evaluation.model = options.model;
    plan.evaluation.method = options.method;
    plan.staff = options.staff;
    plan.staffed = options.staffed;
    plan.staffLimit = options.staffLimit;
    plan.targets = options.targets;
    plan.shard = options.shard;
    plan.jobs = options.jobs;
    return true;
}

// The table beside the input when there is one, read by the calculator's
// reader; its dimension is checked per scenario against that scenario's
// number of terms. None after a failure to read it, told on standard error
// (status 1).
std::unique_ptr<BinomialRows> readBinomials(const SweepOptions& options) {
    const std::filesystem::path table = binomialTablePath(options);
    auto binomials = std::make_unique<BinomialRows>();
    if (std::filesystem::exists(table)) {
        try {
            binomials = std::make_unique<BinomialRows>(
                readBinomialTableFile(table.string(), 0, InversionChoice::Talbot, table.string()));
        } catch (const RunFailure& failure) {
            std::cerr << kProgram << ": " << failure.what() << "\n";
            return nullptr;
        }
    }
    return binomials;
}

using RowWriter = std::function<void(std::ostream&)>;

// The rows on standard output, and with --html the page of the charts;
// false after a failure to write either, told on standard error.
bool sweepToStandardOutput(const SweepOptions& options, const std::vector<std::string>& args,
                           const GridCharts& charts, const RowWriter& sweep) {
#ifdef _WIN32
    // The rows carry their own CR LF; a text-mode standard output would
    // add a CR before each LF.
    std::cout.flush();
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    sweep(std::cout);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << kProgram << ": writing to standard output failed\n";
        return false;
    }
    if (!options.htmlPath.empty()) {
        const std::string failure = replaceFile(options.htmlPath, chartsPage(options, charts, args));
        if (!failure.empty()) {
            std::cerr << kProgram << ": cannot write '" << echoText(options.htmlPath, kWholeText) << "': " << failure << "\n";
            return false;
        }
    }
    return true;
}

// The rows to --out, and with --html the page of the charts; false after a
// failure to write either, told on standard error.
bool sweepToFiles(const SweepOptions& options, const std::vector<std::string>& args, const GridCharts& charts,
                  const RowWriter& sweep) {
    // Complete and on disk before it takes the name: a sweep that fails
    // or is interrupted leaves an earlier file whole.
    // With the charts, both are put in place together: a signal leaves
    // both new or both as they were.
    FileReplacement out(options.outPath);
    if (out.failure().empty()) sweep(out.stream());
    std::vector<FileReplacement*> files{&out};
    std::optional<FileReplacement> page;
    if (!options.htmlPath.empty() && out.failure().empty()) {
        page.emplace(options.htmlPath);
        page->stream() << chartsPage(options, charts, args);
        files.push_back(&*page);
    }
    const std::vector<std::string> failures = commitTogether(files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (failures[i].empty()) continue;
        const std::string& path = i == 0 ? options.outPath : options.htmlPath;
        std::cerr << kProgram << ": cannot write '" << echoText(path, kWholeText) << "': " << failures[i] << "\n";
        return false;
    }
    return true;
}

int run(const SweepOptions& options, const std::vector<std::string>& args, ErrorStream& err) {
    SweepPlan plan;
    if (!readSweepPlan(options, err, plan)) return 1;
    const std::unique_ptr<BinomialRows> binomials = readBinomials(options);
    if (!binomials) return 1;

    PlanSummary summary;
    const RowFormatter format = SweepRowFormatter(plan);
    GridCharts charts(sweepHeader(plan), options.varied.size());  // for --html
    const RowWriter sweep = [&](std::ostream& target) {
        ChartingBuffer charting(target.rdbuf(), charts);
        std::ostream charted(&charting);
        std::ostream& out = options.htmlPath.empty() ? target : charted;
        if (options.header) target << csvRecord(sweepHeader(plan));  // the charts take the header apart
        ProgressLine progress(err, 0);
        summary = runPlan(plan, *binomials, format, out, [&](std::size_t written, std::size_t total) {
            progress.count(kProgram, written, total, "rows");
        });
        out.flush();
        if (!out) target.setstate(std::ios::badbit);
    };
    const bool written = options.outPath.empty() ? sweepToStandardOutput(options, args, charts, sweep)
                                                 : sweepToFiles(options, args, charts, sweep);
    if (!written) return 1;
    writeInputWarnings(err, summary);
    writeSummary(err, summary);
    return summary.rowsWithoutValues > 0 || summary.rowsFailingChecks > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    // First, before any file is opened (see ProcessStandardError).
    ProcessStandardError err;
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const SweepOptions options = parseOptions(args, std::max(1u, std::thread::hardware_concurrency()));
        if (options.help) {
            std::cout << usageText();
            return 0;
        }
        checkDistinctFiles({{"--input", options.inputPath}, {"the binomial table", binomialTablePath(options)}},
                           {{"--out", options.outPath}, {"--html", options.htmlPath}});
        for (const Target& target : options.targets) {
            const std::string reading = targetReading(target);
            if (!reading.empty()) std::cerr << kProgram << ": " << reading << "\n";
        }
        return run(options, args, err);
    } catch (const UsageError& error) {
        std::cerr << kProgram << ": " << error.what() << " (see --help)\n";
        return 2;
    }
}
