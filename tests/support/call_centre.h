#pragma once
// Valid inputs for tests that call the library without "INPUT.DAT".

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

}  // namespace testsupport
