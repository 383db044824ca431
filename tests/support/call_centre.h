#pragma once
// Valid inputs and models for tests that call the library without running
// the calculator.

#include <sstream>
#include <string>

#include "engine/queue_model.h"
#include "input/input_checks.h"
#include "input/model_input.h"

namespace testsupport {

// A call centre with the given patience (raw type 0, 1, 2 and its two
// parameters), s agents, r waiting places, arrival rate lambda and service
// rate mu; moments every 0.1 up to 5, M = 32, both algorithms, as the typical
// example has them.
inline queuecalc::ModelInput callCentre(int patienceType, double p1, double p2, int servers,
                                        int waitingPlaces, double arrivalRate,
                                        double serviceRate = 1.0) {
    queuecalc::ModelInput in;
    in.consoleReport = 1;
    in.setAbandonType(patienceType);
    in.abandonParam1 = p1;
    in.abandonParam2 = p2;
    in.abandonParam3 = -1;
    in.servers = servers;
    in.waitingPlaces = waitingPlaces;
    in.serviceRate = serviceRate;
    in.arrivalRate = arrivalRate;
    in.momentInterval = 0.1;
    in.inversionTerms = 32;
    in.maxTime = 5;
    in.setInversionMethod(0);
    return in;
}

// An exponential-patience centre from a test case with the fields servers,
// waitingPlaces, abandonRate, arrivalRate and serviceRate.
template <class Case>
queuecalc::ModelInput exponentialCentre(const Case& c) {
    return callCentre(0, c.abandonRate, -1, c.servers, c.waitingPlaces, c.arrivalRate, c.serviceRate);
}

// A model from the thirteen values of "INPUT.DAT" in one line, checked as
// the calculator checks them.
inline queuecalc::QueueModel queueModelOf(const std::string& values) {
    std::istringstream in(values);
    const queuecalc::ModelInput input = queuecalc::readModelInput(in);
    queuecalc::validateModelInput(input);
    return queuecalc::buildQueueModel(input);
}

// A model from an input file at `path`, checked as the calculator checks it.
inline queuecalc::QueueModel queueModelOfFile(const std::string& path) {
    const queuecalc::ModelInput input = queuecalc::readModelInputFile(path);
    queuecalc::validateModelInput(input);
    return queuecalc::buildQueueModel(input);
}

}  // namespace testsupport
