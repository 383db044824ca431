#include "app/run.h"

#include <new>
#include <stdexcept>

#include "core/failure.h"
#include "app/time_grid.h"
#include "input/input_checks.h"
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

// The model and the inversions, in the order of the pass: moment count, hazard
// rates (with their two checks), chain, position tables, measures, time grid,
// then Euler when inversionMethod <= 0 and Talbot when >= 0, Euler first.
// Each value without a meaning is rejected right before the first step that
// uses it, so that the checks of the hazard rates keep their place for every
// input on which the steps before them are defined.
RunResults computeRun(const ModelInput& input, const BinomialTable& table, TransformEngine engine) {
    RunResults run;

    checkTimeGrid(input);
    run.momentCount = computeMomentCount(input.maxTime, input.momentInterval);

    // Checks waitingPlaces, the Erlang phase limit, the distribution type and
    // the parameters of the distribution, in this order.
    run.hazard = buildHazardRates(input.abandonType, input.abandonParam1, input.abandonParam2,
                                  input.waitingPlaces, input.arrivalRate);
    checkChain(input);
    run.chain = solveChain(input.servers, input.waitingPlaces, input.serviceRate, input.arrivalRate,
                           run.hazard.cumulativeAbandonRate);
    checkQueuePositionTables(input.waitingPlaces);
    run.tables = buildQueuePositionTables(input.servers, input.waitingPlaces, input.serviceRate,
                                          run.hazard.hazardRate, run.hazard.cumulativeAbandonRate);
    run.measures = computePerformanceMeasures(input, run.chain.stationaryDist, run.chain.admittedDist,
                                              run.tables);
    checkMomentCount(run.momentCount, input);
    run.timeGrid = buildTimeGrid(run.momentCount, input.momentInterval);

    checkInversionTerms(input.inversionTerms);
    const TransformModel model =
        makeTransformModel(input.servers, input.waitingPlaces, run.chain.admittedDist, run.tables);
    if (input.inversionMethod <= 0) {
        run.euler.reset(new EulerCurves(computeEulerCurves(input.inversionTerms, table, run.timeGrid,
                                                           run.measures.noWaitProb,
                                                           run.measures.servedProb, model, engine)));
    }
    if (input.inversionMethod >= 0) {
        run.talbot.reset(new TalbotCurves(computeTalbotCurves(input.inversionTerms, run.timeGrid,
                                                              run.measures.noWaitProb,
                                                              run.measures.servedProb, model, engine)));
    }
    return run;
}

ResultCurves resultCurves(const RunResults& run) {
    ResultCurves curves;
    if (run.euler) {
        curves.eulerJoint = &run.euler->jointCurve;
        curves.eulerConditional = &run.euler->conditionalCurve;
    }
    if (run.talbot) {
        curves.talbotJoint = &run.talbot->jointCurve;
        curves.talbotConditional = &run.talbot->conditionalCurve;
    }
    return curves;
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
                                                          input.inversionTerms, input.inversionMethod);
        const RunResults run = computeRun(input, table);
        const ResultCurves curves = resultCurves(run);
        if (input.consoleReport == 1) {
            printConsoleReport(out, input.inversionMethod, run.measures, run.timeGrid,
                               curves.eulerConditional, curves.talbotConditional);
        }
        writeResultsFile(inFolder(directory, kResultsFileName),
                         buildResultsFile(input, run.measures, run.timeGrid, curves));
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
