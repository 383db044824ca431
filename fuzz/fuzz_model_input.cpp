// Fuzzes the reader of "INPUT.DAT": any bytes either read as the thirteen
// values that plain formatted extraction gives, or stop with a message about
// the first value that plain extraction could not read.

#include <cstdint>
#include <sstream>
#include <string>

#include "core/failure.h"
#include "fuzz_support.h"
#include "input/model_input.h"

using queuecalc::ModelInput;

namespace {

// The thirteen values by operator>> alone; false at the first failure.
bool plainRead(const std::string& text, ModelInput& m) {
    std::istringstream in(text);
    in >> m.consoleReport >> m.abandonType >> m.abandonParam1 >> m.abandonParam2 >> m.abandonParam3 >>
        m.servers >> m.waitingPlaces >> m.serviceRate >> m.arrivalRate >> m.momentInterval >>
        m.inversionTerms >> m.maxTime >> m.inversionMethod;
    return !in.fail();
}

bool same(double a, double b) { return a == b; }  // the readers never yield NaN

bool sameInput(const ModelInput& a, const ModelInput& b) {
    return a.consoleReport == b.consoleReport && a.abandonType == b.abandonType &&
           same(a.abandonParam1, b.abandonParam1) && same(a.abandonParam2, b.abandonParam2) &&
           same(a.abandonParam3, b.abandonParam3) && a.servers == b.servers &&
           a.waitingPlaces == b.waitingPlaces && same(a.serviceRate, b.serviceRate) &&
           same(a.arrivalRate, b.arrivalRate) && same(a.momentInterval, b.momentInterval) &&
           a.inversionTerms == b.inversionTerms && same(a.maxTime, b.maxTime) &&
           a.inversionMethod == b.inversionMethod &&
           // the reader decodes the choices from the values it read
           b.patience == queuecalc::decodePatienceType(b.abandonType) &&
           b.inversion == queuecalc::decodeInversionChoice(b.inversionMethod);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ModelInput plain;
    const bool plainOk = plainRead(text, plain);
    std::istringstream in(text);
    try {
        const ModelInput read = queuecalc::readModelInput(in);
        if (!plainOk) queuecalc_fuzz::violated("read a file that plain extraction cannot", text);
        if (!sameInput(read, plain)) queuecalc_fuzz::violated("read other values than plain extraction", text);
    } catch (const queuecalc::RunFailure& failure) {
        if (plainOk) queuecalc_fuzz::violated("rejected a file that plain extraction reads", failure.what());
        queuecalc_fuzz::checkMessage(failure.what(), "Unable to read input file (INPUT.DAT): ");
    }
    return 0;
}
