#pragma once
#include <array>
#include <vector>

#include "core/choices.h"

namespace queuecalc {

struct HazardRates {
    std::array<double, 13> factorialTable{};   // i! for i = 0 .. 12
    std::vector<double> hazardRate;            // r + 1; [0] = -1 placeholder
    std::vector<double> cumulativeAbandonRate; // r + 1; [0] = 0
};

// Error function by the rational approximation 7.1.26 of Abramowitz and Stegun.
double erfApprox(double x);

// y^i by repeated squaring from the lowest bit of i up.
double integerPower(double y, int i);

// Numerically stable forms of the Erlang and lognormal hazard rates, used
// for the waiting positions where the formula of buildHazardRates yields no
// finite number. Erlang: at y = p1 x, with n = the integer part of p2.
// Lognormal: at x, with d = m - log(x), w = sqrt2 sigma formed as there.
double erlangHazardStable(double y, double p1, double p2, int n);
double lognormalHazardStable(double x, double d, double w, double sigma);

// Hazard rates of the patience distribution at the elapsed times k / lambda,
// k = 1 .. r, and their running sums: exponential (p1 = rate), Erlang (p1 =
// rate of a phase, p2 = phases, 1 .. 12, the fraction dropped) or lognormal
// (p1 = mean, p2 = variance). The parameters must have passed
// validateModelInput (asserted in debug builds); an Unspecified type throws
// std::invalid_argument. Finite for every validated input: where the closed
// formula gives no number, a stable form of the same function is used.
HazardRates buildHazardRates(PatienceType type, double p1, double p2, int waitingPlaces,
                             double arrivalRate);
// The same into `h`, reusing the capacity of its vectors; the same values.
void buildHazardRatesInto(HazardRates& h, PatienceType type, double p1, double p2, int waitingPlaces,
                          double arrivalRate);

}  // namespace queuecalc
