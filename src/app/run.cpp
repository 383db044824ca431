#include "app/run.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "core/failure.h"
#include "engine/diagnostics.h"
#include "engine/input_warnings.h"
#include "report/console_report.h"
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

// Transform values per moment: 2M + 1 for Euler, M for Talbot.
std::size_t nodesPerMoment(InversionAlgorithm algorithm, int inversionTerms) {
    const std::size_t m = static_cast<std::size_t>(inversionTerms);
    return algorithm == InversionAlgorithm::Euler ? 2 * m + 1 : m;
}

double expectedSeconds(const ModelInput& input, std::size_t moments) {
    double seconds = expectedModelSeconds(input.waitingPlaces);
    for (const InversionAlgorithm a : {InversionAlgorithm::Euler, InversionAlgorithm::Talbot})
        if (a == InversionAlgorithm::Euler ? runsEuler(input.inversion) : runsTalbot(input.inversion))
            seconds += expectedInversionSeconds(input.waitingPlaces, nodesPerMoment(a, input.inversionTerms), moments);
    return seconds;
}

// The curves of one algorithm at the grid moments. When a progress line may
// be shown the moments go to the engine in chunks of about a tenth of a
// second each (by the size estimate); a value depends on its moment alone
// (engine/queue_model.h), so the chunks give the same bits as one call.
WaitingTimeCurves invertOnGrid(const QueueModel& model, InversionAlgorithm algorithm,
                               const std::vector<double>& grid, const std::vector<double>& row,
                               TransformEngine engine, ProgressLine* progress) {
    const int M = model.input.inversionTerms;
    if (!progress || !progress->possible()) return evaluateWaitingTime(model, algorithm, M, grid, row, engine);
    const double perMoment =
        expectedInversionSeconds(model.input.waitingPlaces, nodesPerMoment(algorithm, M), 1);
    const std::size_t chunk = std::max<std::size_t>(
        1, std::min<double>(static_cast<double>(kMomentsPerBatch), kProgressInterval / perMoment));
    progress->start(algorithm, grid.size());
    // Reserved in full, so that the chunks need no more memory than one call.
    WaitingTimeCurves all;
    all.joint.reserve(grid.size());
    all.conditional.reserve(grid.size());
    all.termMagnitude.reserve(grid.size());
    for (std::size_t first = 0; first < grid.size(); first += chunk) {
        const std::size_t last = std::min(grid.size(), first + chunk);
        const std::vector<double> moments(grid.begin() + static_cast<std::ptrdiff_t>(first),
                                          grid.begin() + static_cast<std::ptrdiff_t>(last));
        const WaitingTimeCurves part = evaluateWaitingTime(model, algorithm, M, moments, row, engine);
        all.joint.insert(all.joint.end(), part.joint.begin(), part.joint.end());
        all.conditional.insert(all.conditional.end(), part.conditional.begin(), part.conditional.end());
        all.termMagnitude.insert(all.termMagnitude.end(), part.termMagnitude.begin(), part.termMagnitude.end());
        progress->advance(last);
    }
    return all;
}

// Standard output closed or failing before the run ended (a pipe whose
// reader left, as in `queuecalc | head`): the console output is incomplete.
const char* const kConsoleCut = "The console output was cut short: standard output was closed before the run ended";

// The failure routine; where standard output failed, the message goes to
// standard error instead, on the line that says so.
int quitOrSayCut(std::ostream& out, std::istream& in, ErrorStream& err, const std::string& message) {
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
    validateModelInput(input);
    return computeValidatedRun(input, table, engine, nullptr);
}

RunResults computeValidatedRun(const ModelInput& input, const BinomialTable& table, TransformEngine engine,
                               ProgressLine* progress) {
    RunResults run;
    if (progress) progress->buildingModel(input.waitingPlaces);
    run.model = buildQueueModel(input);
    run.timeGrid = buildTimeGrid(computeMomentCount(input.maxTime, input.momentInterval),
                                 input.momentInterval);
    if (runsEuler(input.inversion)) {
        // The reader has made sure that row M exists when Euler runs.
        run.curves.euler = invertOnGrid(run.model, InversionAlgorithm::Euler, run.timeGrid,
                                        table.rows[static_cast<std::size_t>(input.inversionTerms)], engine,
                                        progress);
    }
    if (runsTalbot(input.inversion)) {
        run.curves.talbot = invertOnGrid(run.model, InversionAlgorithm::Talbot, run.timeGrid,
                                         std::vector<double>(), engine, progress);
    }
    if (progress) progress->finish();
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

// One run: read both input files, compute, report, pause. Every check ends the
// run through the failure routine before "OUTPUT.CSV" is touched. Warnings go
// to `err`: those about the input as soon as it is read and validated (so
// that a long run on a slip can be stopped), those about the curves after
// the results file is written and the console output flushed, so that they
// stand right above the final prompt; a failed run still gets those about
// values whose text ran on, which often explain the failure.
int runProgram(const std::string& directory, std::istream& in, std::ostream& out, ErrorStream& err) {
    InputNotes notes;
    bool notesWritten = false;
    try {
        const ModelInput input = readModelInputFile(inFolder(directory, kInputFileName), &notes);
        writeWarnings(err, [&] { return runOnWarnings(notes); });
        notesWritten = true;
        const BinomialTable table = readBinomialTableFile(inFolder(directory, kBinomialFileName),
                                                          input.inversionTerms, input.inversion);
        validateModelInput(input);
        writeWarnings(err, [&] { return inputWarnings(input, table); });
        RunResults run;
        {
            ProgressLine progress(err, expectedSeconds(input, static_cast<std::size_t>(computeMomentCount(
                                                                   input.maxTime, input.momentInterval))));
            run = computeValidatedRun(input, table, TransformEngine::Fast, &progress);
        }
        if (input.consoleReport == 1)
            printConsoleReport(out, run.model.measures, run.timeGrid, run.curves);
        writeResultsFile(inFolder(directory, kResultsFileName),
                         buildResultsFile(input, run.model.measures, run.timeGrid, run.curves));
        err.avoidFile(inFolder(directory, kResultsFileName));
        out.flush();
        writeWarnings(err, [&] {
            std::vector<std::string> warnings;
            for (const CurveFinding& finding :
                 checkWaitingTimeCurves(run.model, input.inversionTerms, run.timeGrid, run.curves))
                warnings.push_back(describeCurveFinding(finding));
            return warnings;
        });
    } catch (const RunFailure& failure) {
        if (!notesWritten) writeWarnings(err, [&] { return runOnWarnings(notes); });
        return quitOrSayCut(out, in, err, failure.what());
    } catch (const std::bad_alloc&) {
        return quitOrSayCut(out, in, err, kOutOfMemoryMessage);
    } catch (const std::length_error&) {
        return quitOrSayCut(out, in, err, kOutOfMemoryMessage);
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
