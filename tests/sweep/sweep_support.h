#pragma once
// What the sweep's tests share: scenarios as ModelInput, the sweep's program
// run in a folder, bit comparison.

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "input/model_input.h"
#include "support/program_runner.h"
#include "support/same_bits.h"

#ifndef QUEUECALC_SWEEP_PATH
#error "QUEUECALC_SWEEP_PATH must name the built queuecalc-sweep program"
#endif

namespace sweeptest {

using testsupport::sameBits;

// A small centre as "INPUT.DAT" text: s = 4, r = 6, lambda = 3.5, mu = 1,
// exponential patience 0.5, moments 0.25 .. 2, 16 terms, both algorithms.
inline testsupport::InputValues smallCentreFile() {
    testsupport::InputValues v;
    v.consoleReport = "0";
    v.servers = "4";
    v.waitingPlaces = "6";
    v.arrivalRate = "3.5";
    v.momentInterval = "0.25";
    v.inversionTerms = "16";
    v.maxTime = "2";
    return v;
}

// The same centre as the reader gives it.
inline queuecalc::ModelInput smallCentre() {
    std::istringstream text(smallCentreFile().text());
    return queuecalc::readModelInput(text);
}

struct SweepRun {
    std::string out;  // standard output
    std::string err;  // standard error
    int status = -1;
};

// Runs queuecalc-sweep in `folder` with the arguments (shell words).
inline SweepRun runSweepIn(const std::filesystem::path& folder, const std::string& args) {
    const std::string out = folder.string() + ".sweep-out";
    const std::string err = folder.string() + ".sweep-err";
    const std::string command = "cd '" + folder.string() + "' && '" QUEUECALC_SWEEP_PATH "' " + args +
                                " < /dev/null > '" + out + "' 2> '" + err + "'";
    const int status = std::system(command.c_str());
    SweepRun run;
    run.out = testsupport::readBytes(out);
    run.err = testsupport::readBytes(err);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

}  // namespace sweeptest
