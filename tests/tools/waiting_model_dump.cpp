// waiting_model_dump: prints the double data the exact waiting-time method
// reads, for the high-precision reference generator
// (tests/tools/exact_reference.py). Usage: waiting_model_dump INPUT.DAT
// Output, one value a line, doubles as C99 hexadecimal floats (exact):
//   s, mu, r, then C_0 .. C_r, then w_1 .. w_r, then P(W = 0), P(S).
#include <cstdio>

#include "engine/exact_waiting_time.h"
#include "input/input_checks.h"
#include "input/model_input.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: waiting_model_dump INPUT.DAT\n");
        return 2;
    }
    using namespace queuecalc;
    const ModelInput input = readModelInputFile(argv[1]);
    validateModelInput(input);
    const ExactWaitingModel m = exactWaitingModel(buildQueueModel(input));
    std::printf("%d\n%a\n%d\n", m.servers, m.serviceRate, m.waitingPlaces);
    for (int k = 0; k <= m.waitingPlaces; ++k) std::printf("%a\n", m.cumulativeAbandonRate[k]);
    for (int k = 1; k <= m.waitingPlaces; ++k) std::printf("%a\n", m.positionWeight[k]);
    std::printf("%a\n%a\n", m.noWaitProb, m.servedProb);
    return 0;
}
