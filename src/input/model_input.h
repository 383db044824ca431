#pragma once
// The parameters of one run, as read from "INPUT.DAT".

#include <istream>
#include <string>
#include <vector>

#include "core/choices.h"

namespace queuecalc {

struct ModelInput {
    int consoleReport = 0;      // 1: print the console summary
    int abandonType = 0;        // 0 exponential, 1 Erlang, 2 lognormal
    double abandonParam1 = 0;   // rate / phase rate / mean
    double abandonParam2 = 0;   // unused / phases / variance
    double abandonParam3 = 0;   // echoed only
    int servers = 0;            // s
    int waitingPlaces = 0;      // r
    double serviceRate = 0;     // mu
    double arrivalRate = 0;     // lambda
    double momentInterval = 0;  // delta t
    int inversionTerms = 0;     // M
    double maxTime = 0;         // T
    int inversionMethod = 0;    // <0 Euler, 0 both, >0 Talbot

    // The two choices, decoded from abandonType and inversionMethod where
    // the values are read (or set through setChoices). The raw values above
    // are kept only to be echoed into the results file.
    PatienceType patience = PatienceType::Exponential;
    InversionChoice inversion = InversionChoice::Both;

    // Sets the raw value and its decoded choice together.
    void setAbandonType(int raw) {
        abandonType = raw;
        patience = decodePatienceType(raw);
    }
    void setInversionMethod(int raw) {
        inversionMethod = raw;
        inversion = decodeInversionChoice(raw);
    }
};

extern const char* const kInputFileName;  // "INPUT.DAT"

// A value whose text ran on, without white space, into what the reader took
// as the next value ("0.00416667" in a whole-number field: 0, and
// ".00416667" as the next value, so that every later value moves up a place),
// or, after the thirteenth value, into a fraction that is never read ("0.5"
// read as 0).
struct RunOnValue {
    int position = 0;     // 1 .. 13, the value whose text ran on
    std::string text;     // the whole run of characters as written (shortened, printable)
    std::string value;    // what that value was read as
    std::string rest;     // the characters after it
    bool restIsNextValue = true;  // false only after the thirteenth value
};

// What the reader noticed without rejecting the file. Filled as the values
// are read, so that it holds what was noticed before a failure too.
struct InputNotes {
    std::vector<RunOnValue> runOns;
};

// Extracts the thirteen values in order with formatted stream extraction
// (an int stops at a decimal point and leaves the rest to the next field).
// Nothing after the thirteenth value is read. A value that is missing or does
// not parse as its field's type throws RunFailure naming the field. When
// `notes` is given, values whose text ran on into the next one are recorded
// there; that looks at the text around them but changes neither what is read
// nor any message. Messages name the file `fileName`.
ModelInput readModelInput(std::istream& in, InputNotes* notes = nullptr,
                          const std::string& fileName = kInputFileName);

// Opens the named file and reads it; throws RunFailure with the
// missing-file message when it cannot be opened. The calculator's messages
// say "INPUT.DAT" wherever its file is; another program passes the name its
// user gave as `fileName`.
ModelInput readModelInputFile(const std::string& path, InputNotes* notes = nullptr,
                              const std::string& fileName = kInputFileName);

}  // namespace queuecalc
