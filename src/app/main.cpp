// The queue calculator: reads "INPUT.DAT" and "BINOMDIST.DAT" from the working
// directory, writes "OUTPUT.CSV" there, and pauses on the console before it
// ends. It takes no arguments.
#include <iostream>

#include "app/run.h"

int main() {
    return queuecalc::runProgram("", std::cin, std::cout);
}
