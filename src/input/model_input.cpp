#include "input/model_input.h"

#include <fstream>

#include "app/run_failure.h"
#include "input/read_field.h"

namespace queuecalc {

const char* const kInputFileName = "INPUT.DAT";

namespace {

// The thirteen fields in file order, with the words the messages use for them.
const char* const kFieldNames[13] = {
    "console report switch",
    "abandonment time distribution",
    "1st parameter of the abandonment time distribution",
    "2nd parameter of the abandonment time distribution",
    "3rd parameter of the abandonment time distribution",
    "number of servers",
    "number of extra waiting spaces",
    "individual service rate",
    "arrival rate",
    "time in between measurement moments",
    "number of terms to sum for each measurement moment",
    "maximum time instance",
    "inverse Laplace transform algorithm",
};

template <typename T>
void readField(std::istream& in, int position, T& value) {
    std::string found;
    if (readValue(in, value, found)) return;
    const std::string where = "value " + std::to_string(position) + " of 13 (" +
                              kFieldNames[position - 1] + ")";
    if (found.empty())
        throw RunFailure("Input file ends before " + where + ". Please change the input file (INPUT.DAT).");
    throw RunFailure("Unable to read " + where + ": \"" + found + "\" is not " +
                     expectedKind<T>() + ". Please change the input file (INPUT.DAT).");
}

}  // namespace

ModelInput readModelInput(std::istream& in) {
    ModelInput m;
    readField(in, 1, m.consoleReport);
    readField(in, 2, m.abandonType);
    readField(in, 3, m.abandonParam1);
    readField(in, 4, m.abandonParam2);
    readField(in, 5, m.abandonParam3);
    readField(in, 6, m.servers);
    readField(in, 7, m.waitingPlaces);
    readField(in, 8, m.serviceRate);
    readField(in, 9, m.arrivalRate);
    readField(in, 10, m.momentInterval);
    readField(in, 11, m.inversionTerms);
    readField(in, 12, m.maxTime);
    readField(in, 13, m.inversionMethod);
    return m;
}

ModelInput readModelInputFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw RunFailure("Unable to open input file (INPUT.DAT).");
    return readModelInput(file);
}

}  // namespace queuecalc
