#include "app/run.h"

#include <cmath>
#include <limits>
#include <new>

#include "app/run_failure.h"
#include "app/time_grid.h"
#include "report/console_report.h"
#include "report/results_file.h"

namespace queuecalc {

namespace {

std::string inFolder(const std::string& directory, const char* name) {
    if (directory.empty()) return name;
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

[[noreturn]] void reject(const std::string& what) {
    throw RunFailure(what + " Please change the input file (INPUT.DAT).");
}

}  // namespace

// The model and the inversions, in the order of the pass: hazard rates (with
// their two checks), chain, position tables, measures, time grid, then Euler
// when inversionMethod <= 0 and Talbot when >= 0, Euler first.
RunResults computeRun(const ModelInput& input, const BinomialTable& table, TransformEngine engine) {
    RunResults run;

    // Sizes and intervals without a meaning stop the run before they size an
    // array or feed a division.
    if (!(input.momentInterval > 0) || !std::isfinite(input.momentInterval))
        reject("Time in between measurement moments (" + std::to_string(input.momentInterval) +
               ") must be a positive finite number.");
    if (!(input.maxTime >= 0) || !std::isfinite(input.maxTime))
        reject("Maximum time instance must be a finite number of at least 0.");
    const double quotient = std::floor(input.maxTime / input.momentInterval);
    if (!(quotient <= static_cast<double>(std::numeric_limits<int>::max())))
        reject("Too many measurement moments (maximum time instance / time in between measurement moments).");
    if (input.inversionTerms < 1) reject("Number of terms to sum for each measurement moment must be at least 1.");
    if (input.servers < 0) reject("Number of servers must not be negative.");
    if (input.waitingPlaces < 0) reject("Number of extra waiting spaces must not be negative.");
    run.momentCount = computeMomentCount(input.maxTime, input.momentInterval);

    if (input.abandonType == 1 && input.abandonParam2 <= 12 && !(input.abandonParam2 >= 1))
        reject("Erlang number of phases must be at least 1.");
    run.hazard = buildHazardRates(input.abandonType, input.abandonParam1, input.abandonParam2,
                                  input.waitingPlaces, input.arrivalRate);
    run.chain = solveChain(input.servers, input.waitingPlaces, input.serviceRate, input.arrivalRate,
                           run.hazard.cumulativeAbandonRate);
    run.tables = buildQueuePositionTables(input.servers, input.waitingPlaces, input.serviceRate,
                                          run.hazard.hazardRate, run.hazard.cumulativeAbandonRate);
    run.measures = computePerformanceMeasures(input, run.chain.stationaryDist, run.chain.admittedDist,
                                              run.tables);
    run.timeGrid = buildTimeGrid(run.momentCount, input.momentInterval);

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
        if (input.consoleReport == 1) {
            printConsoleReport(out, input.inversionMethod, run.measures, run.timeGrid,
                               run.euler ? &run.euler->conditionalCurve : nullptr,
                               run.talbot ? &run.talbot->conditionalCurve : nullptr);
        }
        ResultCurves curves;
        if (run.euler) {
            curves.eulerJoint = &run.euler->jointCurve;
            curves.eulerConditional = &run.euler->conditionalCurve;
        }
        if (run.talbot) {
            curves.talbotJoint = &run.talbot->jointCurve;
            curves.talbotConditional = &run.talbot->conditionalCurve;
        }
        writeResultsFile(inFolder(directory, kResultsFileName),
                         buildResultsFile(input, run.measures, run.timeGrid, curves));
    } catch (const RunFailure& failure) {
        return quitWithMessage(out, in, failure.what());
    } catch (const std::bad_alloc&) {
        return quitWithMessage(out, in, "Not enough memory for this run. Please reduce the number of waiting spaces, servers, measurement moments or terms in the input file (INPUT.DAT).");
    }
    out << "\n" << "Press any key to quit...";
    out.flush();
    double ignored;
    in >> ignored;
    return 0;
}

}  // namespace queuecalc
