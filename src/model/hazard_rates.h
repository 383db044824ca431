#pragma once
#include <array>
#include <vector>

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

// Hazard rates of the patience distribution at the elapsed times k / lambda,
// k = 1 .. r, and their running sums. Throws RunFailure for an Erlang
// distribution of more than 12 phases and for an undefined abandonType.
HazardRates buildHazardRates(int abandonType, double p1, double p2, int waitingPlaces,
                             double arrivalRate);

}  // namespace queuecalc
