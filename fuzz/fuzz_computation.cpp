// Fuzzes the whole computation on parsed input: the bytes are read as
// "INPUT.DAT", sizes are kept small (|servers|, |waitingPlaces| <= 64, at most
// 40 terms and 40 moments) so that each run takes milliseconds, a binomial
// table of the needed dimension is built, and the run goes through every check,
// the model, both inversions, the console report and the results file. Besides
// the sanitizers it checks that a run either stops with a message of the
// expected form or yields hazard rates that are numbers (no NaN) and a
// results file of 72 + 2n lines.

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/run.h"
#include "core/failure.h"
#include "fuzz_support.h"
#include "input/model_input.h"
#include "report/console_report.h"
#include "report/results_file.h"
#include "support/pascal_table.h"

using namespace queuecalc;

namespace {

const int kMaxSize = 64;
const int kMaxTerms = 40;
const double kMaxMoments = 40;


// Small enough to run in milliseconds; values the checks reject stay in.
bool smallEnough(const ModelInput& m) {
    if (m.servers > kMaxSize || m.servers < -kMaxSize) return false;
    if (m.waitingPlaces > kMaxSize || m.waitingPlaces < -kMaxSize) return false;
    if (m.inversionTerms > kMaxTerms) return false;
    if (m.momentInterval > 0 && m.maxTime >= 0 && m.maxTime / m.momentInterval > kMaxMoments) return false;
    return true;
}

std::size_t lineCount(const std::string& text) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\r' && text[i + 1] == '\n') ++lines;
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
    ModelInput input;
    try {
        input = readModelInput(file);
    } catch (const RunFailure&) {
        return 0;  // the reader has its own target
    }
    if (!smallEnough(input)) return 0;
    const BinomialTable table = testsupport::pascalTable(input.inversionTerms > 0 ? input.inversionTerms : 0);
    try {
        const RunResults run = computeRun(input, table, TransformEngine::Scalar);
        for (std::size_t k = 1; k < run.model.hazard.hazardRate.size(); ++k) {
            const double rate = run.model.hazard.hazardRate[k];
            if (std::isnan(rate) || rate < 0)
                queuecalc_fuzz::violated("hazard rate is not a number of at least 0",
                                         "position " + std::to_string(k));
        }
        std::ostringstream console;
        printConsoleReport(console, run.model.measures, run.timeGrid, run.curves);
        const std::string bytes = buildResultsFile(input, run.model.measures, run.timeGrid, run.curves);
        if (lineCount(bytes) != 72 + 2 * run.timeGrid.size())
            queuecalc_fuzz::violated("results file has the wrong number of lines", bytes);
    } catch (const RunFailure& failure) {
        const std::string message = failure.what();
        // The two checks of the hazard rates keep their own wording; every
        // other message names the input file.
        if (message.rfind("Erlang of more than 12 phases", 0) == 0) return 0;
        queuecalc_fuzz::checkMessage(message, "");
        if (message.find("(INPUT.DAT).") == std::string::npos)
            queuecalc_fuzz::violated("message does not name the input file", message);
    }
    return 0;
}
