#pragma once
// What the sweep's tests share: scenarios as ModelInput, the sweep's program
// run in a folder, bit comparison.

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

using SweepRun = testsupport::ToolRun;

// Runs queuecalc-sweep in `folder` with the arguments (shell words).
inline SweepRun runSweepIn(const std::filesystem::path& folder, const std::string& args) {
    return testsupport::runToolIn(folder, QUEUECALC_SWEEP_PATH, args);
}

}  // namespace sweeptest
