#include "report/console_report.h"

#include "report/number_format.h"

namespace queuecalc {

// Six measures with 11-character labels, then the conditional waiting-time
// distribution of the algorithm(s) that ran: the moment in a field of 5, each
// probability in a field of 8, right-aligned; a longer number is written in
// full and pushes the rest of the line to the right.
void printConsoleReport(std::ostream& out, const PerformanceMeasures& measures,
                        const std::vector<double>& timeGrid, const InversionResults& curves) {
    std::string text;
    text += "P(W=0)   : " + formatNumber(measures.noWaitProb) + "\n";
    text += "P(A)     : " + formatNumber(measures.abandonProb) + "\n";
    text += "E[W|S]   : " + formatNumber(measures.meanWaitServed) + "\n";
    text += "Var(W|S) : " + formatNumber(measures.varianceServed) + "\n";
    text += "E[W|A]   : " + formatNumber(measures.meanWaitAbandon) + "\n";
    text += "Var(W|A) : " + formatNumber(measures.varianceAbandon) + "\n";

    const char* const lead = "  -+- P(W<=t | S): ";
    const std::vector<double>* euler = curves.euler ? &curves.euler->conditional : nullptr;
    const std::vector<double>* talbot = curves.talbot ? &curves.talbot->conditional : nullptr;
    if (euler && talbot) {
        text += "Euler & Talbot inversion:\n";
        for (std::size_t n = 0; n < timeGrid.size(); ++n)
            text += "Time: " + formatNumber(timeGrid[n], 5) + lead + formatNumber((*euler)[n], 8) +
                    " -+- " + formatNumber((*talbot)[n], 8) + "\n";
    } else if (euler || talbot) {
        const std::vector<double>& only = euler ? *euler : *talbot;
        text += euler ? "Euler inversion:\n" : "Talbot inversion:\n";
        for (std::size_t n = 0; n < timeGrid.size(); ++n)
            text += "Time: " + formatNumber(timeGrid[n], 5) + lead + formatNumber(only[n], 8) + "\n";
    }
    out << text;
}

}  // namespace queuecalc
