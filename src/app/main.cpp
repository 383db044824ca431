// The queue calculator: reads "INPUT.DAT" and "BINOMDIST.DAT" from the working
// directory, writes "OUTPUT.CSV" there, and pauses on the console before it
// ends. It ignores its arguments, but for --help.
#include <csignal>
#include <cstring>
#include <iostream>

#include "app/run.h"
#include "io/standard_error.h"

namespace {

const char* const kHelp =
    R"(queuecalc: the call-centre queue calculator (the M/GI/s/r + GI queue: s agents,
r extra waiting places, Poisson arrivals, exponential talk times, callers who
hang up after a random patience time).

It reads, from the folder it is started in:
  INPUT.DAT      the scenario, thirteen values (rates, agents, waiting places,
                 patience, measurement moments, inversion method)
  BINOMDIST.DAT  the binomial coefficients the Euler inversion uses, read in
                 every run (the binomdist tool writes them)
and writes there:
  OUTPUT.CSV     the fifteen performance measures and the waiting-time
                 distribution at every moment, semicolon-separated; it replaces
                 an earlier file only once complete
When the first value of INPUT.DAT is 1 it also prints a summary. It ends with
"Press any key to quit..." and waits for a value on standard input: on a
terminal a character and Enter; an empty input ends it at once
(queuecalc < /dev/null).

Exit status: 0 after a run; 1 after an error, which is explained on standard
output and leaves OUTPUT.CSV as it was; 3 when standard output was closed
before the end (OUTPUT.CSV is written). Warnings go to standard error.

Every argument other than --help is ignored. README.md, with the source code,
describes every value, the results, the warnings and the exit statuses; the
Windows archive holds a short README.txt.
)";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::cout << kHelp;
            std::cout.flush();
            return std::cout ? 0 : 1;
        }
    }
#ifdef SIGPIPE
    // Standard output on a pipe whose reader has gone (`queuecalc | head`)
    // must not end the run before "OUTPUT.CSV" is written: the writes fail
    // instead, and the run says so at its end.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // First, before any file is opened (see ProcessStandardError).
    queuecalc::ProcessStandardError err;
    return queuecalc::runProgram("", std::cin, std::cout, err);
}
