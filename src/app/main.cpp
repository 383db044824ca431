// The queue calculator: reads "INPUT.DAT" and "BINOMDIST.DAT" from the working
// directory, writes "OUTPUT.CSV" there, and pauses on the console before it
// ends. It takes no arguments.
#include <iostream>

#include "app/run.h"
#include "report/standard_error.h"

int main() {
    // First, before any file is opened (see ProcessStandardError).
    queuecalc::ProcessStandardError err;
    return queuecalc::runProgram("", std::cin, std::cout, err);
}
