#include "app/run.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

#include "analysis/evaluation.h"
#include "core/failure.h"
#include "inversion/cost_model.h"
#include "report/console_report.h"
#include "report/finding_text.h"
#include "report/progress_line.h"
#include "report/results_file.h"

namespace queuecalc {

namespace {

std::string inFolder(const std::string& directory, const char* name) {
    if (directory.empty()) return name;
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

// A failed allocation (the size limits keep each group of arrays within
// 2 GiB, but all of them together, or a machine with less memory, can still
// run out).
const char* const kOutOfMemoryMessage =
    "Unable to allocate the memory for this run. Please reduce the number of servers, extra waiting spaces, measurement moments or terms to sum in the input file (INPUT.DAT).";

double expectedSeconds(const ModelInput& input, std::size_t moments) {
    return expectedModelSeconds(input.waitingPlaces) +
           expectedInversionSeconds(input.waitingPlaces, nodesPerMoment(input.inversion, input.inversionTerms), moments);
}

// Standard output closed or failing before the run ended (a pipe whose
// reader left, as in `queuecalc | head`): the console output is incomplete.
const char* const kConsoleCut = "The console output was cut short: standard output was closed before the run ended";

// The failure routine; where standard output failed, the message goes to
// standard error instead, on the line that says so.
int quitOrSayCut(std::ostream& out, std::istream& in, ErrorStream& err, const std::string& message) {
    err.runFailed(message);
    const int status = quitWithMessage(out, in, message);
    if (!out) err.write(std::string(kConsoleCut) + "; the run stopped: " + message + "\n");
    return status;
}

// Warnings never change the run: whatever producing them throws is dropped
// with them.
template <class Produce>
void writeWarnings(ErrorStream& err, Produce produce) {
    try {
        for (const std::string& warning : produce()) err.write(warningText(warning));
    } catch (...) {
    }
}

}  // namespace

RunResults computeRun(const ModelInput& input, const BinomialTable& table, TransformEngine engine) {
    BinomialRows rows(table);
    RunRequest request = calculatorRequest(input);
    request.engine = engine;
    request.check = false;
    ModelRun done = runModel(input, rows, request);
    RunResults run;
    run.model = std::move(done.model);
    run.timeGrid = std::move(done.moments);
    run.curves = std::move(done.curves);
    return run;
}

int quitWithMessage(std::ostream& out, std::istream& in, const std::string& message) {
    out << "\n" << message << "\n" << "Press any key to quit...";
    out.flush();
    if (!out) return 1;  // nobody sees the prompt: no wait
    int ignored;
    in >> ignored;  // any token, or the end of the input, ends the wait
    return 1;
}

int runProgram(const std::string& directory, std::istream& in, std::ostream& out) {
    NoErrorStream none;
    return runProgram(directory, in, out, none);
}

namespace {

// The calculator's view of its run: the input warnings as soon as the input
// is checked (so that a long run on a slip can be stopped), the progress
// line, and the console report and the results file as soon as the curves
// are there, before their checks.
class CalculatorRun : public RunObserver {
public:
    CalculatorRun(const std::string& directory, const ModelInput& input, std::ostream& out, ErrorStream& err)
        : directory_(directory), input_(input), out_(out), err_(err) {}

    bool written() const { return written_; }

    void inputChecked(const std::vector<Finding>& findings) override {
        writeWarnings(err_, [&] { return texts(findings); });
        progress_ = std::make_unique<ProgressLine>(
            err_, expectedSeconds(input_, static_cast<std::size_t>(
                                              computeMomentCount(input_.maxTime, input_.momentInterval))));
    }
    double progressInterval() const override { return progress_ && progress_->possible() ? kProgressInterval : 0; }
    void buildingModel(int waitingPlaces) override { progress_->buildingModel(waitingPlaces); }
    void inversionStarted(InversionAlgorithm algorithm, std::size_t moments) override {
        progress_->start(algorithm, moments);
    }
    void momentsDone(std::size_t done) override { progress_->advance(done); }
    void inversionsDone() override { progress_.reset(); }

    void computed(const ModelRun& run) override {
        progress_.reset();
        if (input_.consoleReport == 1) printConsoleReport(out_, run.model.measures, run.moments, run.curves);
        writeResultsFile(inFolder(directory_, kResultsFileName),
                         buildResultsFile(input_, run.model.measures, run.moments, run.curves));
        err_.avoidFile(inFolder(directory_, kResultsFileName));
        out_.flush();
        written_ = true;
    }

    static std::vector<std::string> texts(const std::vector<Finding>& findings) {
        std::vector<std::string> result;
        for (const Finding& f : findings) result.push_back(findingText(f));
        return result;
    }

private:
    const std::string& directory_;
    const ModelInput& input_;
    std::ostream& out_;
    ErrorStream& err_;
    std::unique_ptr<ProgressLine> progress_;
    bool written_ = false;
};

}  // namespace

// One run: read both input files, compute, report, pause. Every check ends the
// run through the failure routine before "OUTPUT.CSV" is touched. Warnings go
// to `err`: those about the input as soon as it is read and validated (so
// that a long run on a slip can be stopped), those about the curves and the
// measures after the results file is written and the console output
// flushed, so that they stand right above the final prompt; a failed run
// still gets those about values whose text ran on, which often explain the
// failure. Whatever the checks after the results file throw is dropped with
// their warnings: they never change the run.
int runProgram(const std::string& directory, std::istream& in, std::ostream& out, ErrorStream& err) {
    InputNotes notes;
    bool notesWritten = false;
    const auto runOnTexts = [&] {
        std::vector<std::string> texts;
        for (const InputWarning& w : checkRunOns(notes)) texts.push_back(inputWarningText(w));
        return texts;
    };
    std::unique_ptr<CalculatorRun> observer;
    try {
        const ModelInput input = readModelInputFile(inFolder(directory, kInputFileName), &notes);
        writeWarnings(err, runOnTexts);
        notesWritten = true;
        BinomialRows rows(readBinomialTableFile(inFolder(directory, kBinomialFileName), input.inversionTerms,
                                                input.inversion));
        observer = std::make_unique<CalculatorRun>(directory, input, out, err);
        const ModelRun run = runModel(input, rows, calculatorRequest(input), observer.get());
        std::vector<Finding> later;
        for (const Finding& f : run.findings)
            if (f.kind != FindingKind::InputValue) later.push_back(f);
        writeWarnings(err, [&] { return CalculatorRun::texts(later); });
    } catch (const RunFailure& failure) {
        if (!observer || !observer->written()) {
            if (!notesWritten) writeWarnings(err, runOnTexts);
            return quitOrSayCut(out, in, err, failure.what());
        }
    } catch (const std::bad_alloc&) {
        if (!observer || !observer->written()) return quitOrSayCut(out, in, err, kOutOfMemoryMessage);
    } catch (const std::length_error&) {
        if (!observer || !observer->written()) return quitOrSayCut(out, in, err, kOutOfMemoryMessage);
    }
    out << "\n" << "Press any key to quit...";
    out.flush();
    if (!out) {  // nobody sees the prompt: no wait
        err.write(std::string(kConsoleCut) + "; the results file (" + kResultsFileName + ") is complete.\n");
        return kConsoleCutStatus;
    }
    double ignored;
    in >> ignored;
    return 0;
}

}  // namespace queuecalc
