#include "report/results_file.h"

#include "core/failure.h"
#include "analysis/measures.h"
#include "input/model_fields.h"
#include "io/file_replace.h"
#include "report/measure_labels.h"
#include "report/number_format.h"

namespace queuecalc {

const char* const kResultsFileName = "OUTPUT.CSV";

namespace {

// Line end of a text file on the program's home platform, written on every
// platform so that the file is the same everywhere.
const char* const kEol = "\r\n";

// Fixed description of the parameter file, written after the echo. It names
// thirteen items for the twelve echoed values and only two distributions;
// it is kept exactly as users' files have always carried it.
const char* const kCommentBlock[32] = {
    "// INPUT FILE FOR THE M/GI/s/r + GI QUEUE",
    "// Paper: Marrowby (2005). Engineering Solution of a Basic Call-Center Model. Management Science, Vol. 51, No. 2, pp. 221-235.",
    "// Implementation: Quenholt.",
    "// Implementation language: C++.",
    "// Implementation date: 1/11/2013.",
    "//",
    "// FILE STRUCTURE",
    "//",
    "// ABANDONMENT TIME DISTRIBUTION (0 = EXPONENTIAL)",
    "// 1ST PARAMETER OF THE ABANDONMENT TIME DISTRIBUTION",
    "// 2ND PARAMETER OF THE ABANDONMENT TIME DISTRIBUTION",
    "// 3TH PARAMETER OF THE ABANDONMENT TIME DISTRIBUTION",
    "// NUMBER OF SERVERS",
    "// NUMBER OF EXTRA WAITING SPACES",
    "// INDIVIDUAL SERVICE RATE",
    "// ARRIVAL RATE ",
    "// TIME IN BETWEEN MEASUREMENT MOMENTS (SERVICE & ABANDONMENT DISTRIBUTIONS)",
    "// NUMBER OF TERMS TO SUM FOR EACH MEASUREMENT MOMENT (DETERMINES PRECISION; DEFAULT IS 32)",
    "// MAXIMUM TIME INSTANCE (MEASUREMENT MOMENTS ARE EVALUATED IF THEY TAKE PLACE BEFORE THE MAXIMUM TIME INSTANCE)",
    "// PRECISION OF CALCULATION IN SIGNIFICANT NUMBER OF DIGITS (DEFAULT IS 32)",
    "// ALGORITHM USED TO PERFORM INVERSE LAPLACE TRANSFORM (-1 = EULER | 1 = TALBOT | 0 = BOTH)",
    "//",
    "// DISTRIBUTIONS:",
    "//   0) EXPONENTIAL:",
    "//\t-> 1ST PARAMETER = EXPONENTIAL ABANDONMENT RATE",
    "//\t-> 2ND PARAMETER = NOT IN USE (-1)",
    "//\t-> 3TH PARAMETER = NOT IN USE (-1)",
    "//",
    "//   1) ERLANG:",
    "//\t-> 1ST PARAMETER = EXPONENTIAL RATE OF A PHASE",
    "//\t-> 2ND PARAMETER = NUMBER OF PHASES",
    "//\t-> 3TH PARAMETER = NOT IN USE (-1)",
};

void line(std::string& out, const std::string& text) {
    out += text;
    out += kEol;
}

// One distribution section: title, column line and one row per moment, with
// the Euler column before the Talbot column when both algorithms ran.
void section(std::string& out, const char* columnTitle, const std::vector<double>& timeGrid,
             const std::vector<double>* euler, const std::vector<double>* talbot) {
    const bool withEuler = euler != nullptr;
    const bool withTalbot = talbot != nullptr;
    std::string title;
    std::string columns = "Time";
    if (withEuler) {
        title += ";Euler";
        columns += std::string(";") + columnTitle;
    }
    if (withTalbot) {
        title += ";Talbot";
        columns += std::string(";") + columnTitle;
    }
    line(out, title);
    line(out, columns);
    for (std::size_t n = 0; n < timeGrid.size(); ++n) {
        std::string row = formatNumber(timeGrid[n]);
        if (withEuler) row += ";" + formatNumber((*euler)[n]);
        if (withTalbot) row += ";" + formatNumber((*talbot)[n]);
        line(out, row);
    }
}

}  // namespace

std::string buildResultsFile(const ModelInput& input, const PerformanceMeasures& pm,
                             const std::vector<double>& timeGrid, const InversionResults& curves) {
    std::string out;
    out.reserve(4096 + 64 * timeGrid.size());
    line(out, "OUTPUT:");
    line(out, "");
    for (std::size_t i = 0; i < kCalculatorMeasureCount; ++i)
        line(out, resultsFileLabel(fixedMeasure(i)) + ";" + formatNumber(calculatorValue(pm, fixedMeasure(i))));
    line(out, "");
    line(out, "WAITING TIME DISTRIBUTION");
    const WaitingTimeCurves* euler = curves.euler ? &*curves.euler : nullptr;
    const WaitingTimeCurves* talbot = curves.talbot ? &*curves.talbot : nullptr;
    section(out, "P(0<W<= t , S)", timeGrid, euler ? &euler->joint : nullptr,
            talbot ? &talbot->joint : nullptr);
    line(out, "");
    line(out, "CONDITIONAL WAITING TIME DISTRIBUTION");
    section(out, "P(W<= t | S)", timeGrid, euler ? &euler->conditional : nullptr,
            talbot ? &talbot->conditional : nullptr);
    line(out, "");
    line(out, "INPUT FILE USED:");
    line(out, "");
    // Every value but the first (the console report switch), as the file has
    // always repeated them.
    for (const ModelField& field : modelFields()) {
        if (field.whole == &ModelInput::consoleReport) continue;
        line(out, field.type == FieldType::Whole ? std::to_string(input.*field.whole)
                                                 : formatNumber(input.*field.real));
    }
    for (const char* text : kCommentBlock) line(out, text);
    return out;
}

// Any failure is reported: losing the results silently would look like
// success.
void writeResultsFile(const std::string& path, const std::string& bytes) {
    // Where the folder takes no new file, the file is rewritten in place, as
    // the calculator has always done.
    const std::string reason = replaceFile(path, bytes, InPlace::Allowed);
    if (!reason.empty()) throw RunFailure("Unable to write results file (OUTPUT.CSV): " + reason + ".");
}

}  // namespace queuecalc
