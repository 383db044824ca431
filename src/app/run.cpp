#include "app/run.h"

#include <new>
#include <stdexcept>

#include "core/failure.h"
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

}  // namespace

RunResults computeRun(const ModelInput& input, const BinomialTable& table, TransformEngine engine) {
    validateModelInput(input);
    RunResults run;
    run.model = buildQueueModel(input);
    run.timeGrid = buildTimeGrid(computeMomentCount(input.maxTime, input.momentInterval),
                                 input.momentInterval);
    const int M = input.inversionTerms;
    if (runsEuler(input.inversion)) {
        // The reader has made sure that row M exists when Euler runs.
        run.curves.euler = evaluateWaitingTime(run.model, InversionAlgorithm::Euler, M, run.timeGrid,
                                               table.rows[static_cast<std::size_t>(M)], engine);
    }
    if (runsTalbot(input.inversion)) {
        run.curves.talbot = evaluateWaitingTime(run.model, InversionAlgorithm::Talbot, M, run.timeGrid,
                                                std::vector<double>(), engine);
    }
    return run;
}

int quitWithMessage(std::ostream& out, std::istream& in, const std::string& message) {
    out << "\n" << message << "\n" << "Press any key to quit...";
    out.flush();
    int ignored;
    in >> ignored;  // any token, or the end of the input, ends the wait
    return 1;
}

// One run: read both input files, compute, report, pause. Every check ends the
// run through the failure routine before "OUTPUT.CSV" is touched.
int runProgram(const std::string& directory, std::istream& in, std::ostream& out) {
    std::string bytes;
    try {
        const ModelInput input = readModelInputFile(inFolder(directory, kInputFileName));
        const BinomialTable table = readBinomialTableFile(inFolder(directory, kBinomialFileName),
                                                          input.inversionTerms, input.inversion);
        const RunResults run = computeRun(input, table);
        if (input.consoleReport == 1)
            printConsoleReport(out, run.model.measures, run.timeGrid, run.curves);
        writeResultsFile(inFolder(directory, kResultsFileName),
                         buildResultsFile(input, run.model.measures, run.timeGrid, run.curves));
    } catch (const RunFailure& failure) {
        return quitWithMessage(out, in, failure.what());
    } catch (const std::bad_alloc&) {
        return quitWithMessage(out, in, kOutOfMemoryMessage);
    } catch (const std::length_error&) {
        return quitWithMessage(out, in, kOutOfMemoryMessage);
    }
    out << "\n" << "Press any key to quit...";
    out.flush();
    double ignored;
    in >> ignored;
    return 0;
}

}  // namespace queuecalc
