#include "input/model_input.h"

#include <fstream>

#include "core/failure.h"
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

bool isWholeNumberField(int position) {
    return position == 1 || position == 2 || position == 6 || position == 7 || position == 11 ||
           position == 13;
}

template <typename T>
void readField(std::istream& in, int position, T& value) {
    UnreadableValue unreadable;
    if (readValue(in, value, unreadable)) return;
    const std::string field = "value " + std::to_string(position) + " of 13 (" +
                              kFieldNames[position - 1] + ")";
    if (unreadable.ended)
        throw RunFailure("Unable to read input file (INPUT.DAT): it ends before " + field + ".");
    std::string message = "Unable to read input file (INPUT.DAT): " + field + " is " +
                          describeUnreadable<T>(unreadable);
    // A whole number written with a fraction ("10.5") is read up to its
    // point; the rest then stands where the next value should be.
    if (position > 1 && unreadable.followsValue && unreadable.text[0] == '.' &&
        isWholeNumberField(position - 1))
        message += " (it is left over from value " + std::to_string(position - 1) +
                   ", which must be a whole number)";
    throw RunFailure(message + ".");
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
    m.setAbandonType(m.abandonType);
    m.setInversionMethod(m.inversionMethod);
    return m;
}

ModelInput readModelInputFile(const std::string& path) {
    // Binary, so that every system reads the same bytes: a text-mode stream
    // on Windows would drop the CR of each CR LF (its white space either way)
    // but then misplace the re-reading of an unreadable value, and would end
    // the file at a Ctrl-Z.
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RunFailure("Unable to open input file (INPUT.DAT).");
    return readModelInput(file);
}

}  // namespace queuecalc
