#pragma once
// The spread of a lognormal patience time from its mean and variance, as both
// the input checks and the hazard rates form it.

#include <cmath>

namespace queuecalc {

// sigma = sqrt(log(variance / mean^2 + 1)): zero when the quotient is below
// the resolution of 1 + x, infinite when it overflows.
inline double lognormalSigma(double mean, double variance) {
    return std::sqrt(std::log(variance / (mean * mean) + 1));
}

}  // namespace queuecalc
