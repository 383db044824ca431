#include "model/hazard_rates.h"

#include <cassert>
#include <cmath>
#include <stdexcept>

#include "core/lognormal.h"

namespace queuecalc {

// Error function, rational approximation 7.1.26 of Abramowitz and Stegun:
//   erf(x) ~ 1 - t (a1 + t (a2 + t (a3 + t (a4 + t a5)))) exp(-x^2),
//   t = 1 / (1 + p |x|),
// extended to negative x by oddness. Absolute error about 1.5e-7 at most; it
// is not exact at 0 (1 - 0.999999999 = 1e-9). The polynomial is evaluated from
// the innermost bracket out and the final exponential is the library exp, so
// that the result is the same double on every conforming platform. For large
// |x| the result is exactly +-1, which makes the lognormal survival 1 + erf
// vanish for long waits (handled where the rates are formed).
double erfApprox(double x) {
    const double sign = x < 0 ? -1.0 : 1.0;  // +1 also for 0, -0 and NaN
    const double a = std::fabs(x);
    const double t = 1.0 / (1.0 + 0.3275911 * a);
    const double p =
        t * (0.254829592 +
             t * (-0.284496736 + t * (1.421413741 + t * (-1.453152027 + t * 1.061405429))));
    return sign * (1.0 - p * std::exp(-a * a));
}

// y^i by repeated squaring from the lowest bit of i up: result = 1 and
// square = y; for each bit, multiply the result by the square when the bit is
// set, then square the square. The order of the products decides the last bit
// of the Erlang survival terms from seven phases on, so it is kept exactly.
double integerPower(double y, int i) {
    double result = 1.0;
    double square = y;
    for (unsigned bits = static_cast<unsigned>(i); bits != 0; bits >>= 1) {
        if (bits & 1u) result = result * square;
        square = square * square;
    }
    return result;
}

// Erlang hazard rate with the common factor e^(-y) of density and survival
// cancelled, for the waiting positions where the formula of buildHazardRates
// meets 0/0 (e^(-y) underflows for long waits) or an overflow:
//   alpha = p1 y^(p2-1) / (n-1)! / sum_{i<n} y^i / i!.
// For y <= 1 the sum runs by Horner's rule from its last term; for y > 1
// numerator and sum are divided by the sum's last term y^(n-1) / (n-1)!,
//   alpha = p1 y^(p2-n) / sum_{j<n} (n-1)!/(n-1-j)! y^-j,
// whose terms all lie in (0, 1] times a factorial ratio. Every term is
// positive, so the result carries a few rounding errors only.
double erlangHazardStable(double y, double p1, double p2, int n) {
    if (p1 == 0) return 0.0;  // nobody abandons, also at an infinite wait
    double sum = 1.0;
    if (y <= 1.0) {
        for (int i = n - 1; i >= 1; --i) sum = 1.0 + (y / i) * sum;
        double factorial = 1.0;
        for (int i = 2; i <= n - 1; ++i) factorial = factorial * i;
        return p1 * std::pow(y, p2 - 1) / factorial / sum;
    }
    for (int l = n - 1; l >= 1; --l) sum = 1.0 + (static_cast<double>(n - l) / y) * sum;
    return p1 * std::pow(y, p2 - n) / sum;
}

// Lognormal hazard rate written with u = -d / w = (log x - m) / (sqrt2 sigma):
//   alpha = sqrt(2/pi) e^(-u^2) / (sigma x erfc(u)),
// for the waiting positions where 1 + erfApprox(d / w) of the formula of
// buildHazardRates is exactly 0 (u beyond about 5.9). Up to u = 26 the
// complementary error function of the library is accurate and e^(-u^2) is
// formed from u^2 split exactly in two parts; beyond, where both underflow,
// their quotient is taken from the asymptotic series
//   e^(u^2) erfc(u) = 1/(u sqrtpi) sum_k (-1)^k (2k-1)!! / (2u^2)^k,
// whose terms fall below 1e-18 within ten terms there.
double lognormalHazardStable(double x, double d, double w, double sigma) {
    const double c = 0.7978845608028654;  // sqrt(2 / pi)
    if (std::isinf(x)) return 0.0;         // the hazard vanishes for ever longer waits
    const double u = -d / w;
    if (u < 26.0) {
        const double square = u * u;
        const double error = std::fma(u, u, -square);  // u^2 = square + error exactly
        const double density = std::exp(-square) * (1.0 - error);
        return c * density / (sigma * x * std::erfc(u));
    }
    const double q = 1.0 / (2.0 * u * u);
    double term = 1.0;
    double series = 1.0;
    for (int k = 1; k <= 10; ++k) {
        term = -term * (2 * k - 1) * q;
        series = series + term;
    }
    // c e^(-u^2) / erfc(u) = c u sqrtpi / series = sqrt2 u / series.
    return std::sqrt(2.0) * u / (series * sigma * x);
}

// Hazard rate alpha_k of the patience time at the elapsed time x_k = k / lambda,
// k = 1 .. r, and the running sums alpha_1 + ... + alpha_k.
//   exponential: alpha_k = theta;
//   Erlang (rate p1, p2 phases, n = integer part of p2):
//     f = p1^p2 x^(p2-1) e^(-y) / (n-1)!, S = sum_{i<n} y^i e^(-y) / i!, y = p1 x;
//   lognormal (mean p1, variance p2): density over 1/2 (1 + erf(d / (sqrt2 sigma))).
// Every exponential is pow(e, x) with e = exp(1), and the products and
// quotients run in the order written, because the printed results depend on
// the last bit of each rate. Where that formula gives no finite number for a
// position (0/0 once e^(-y) or 1 + erf underflows), the position's rate is the
// same hazard function in a numerically stable form; every finite rate of the
// formula is kept as it is. The parameters have been validated
// (validateModelInput); an unspecified type is a caller's error.
HazardRates buildHazardRates(PatienceType type, double p1, double p2, int waitingPlaces,
                             double arrivalRate) {
    HazardRates h;
    buildHazardRatesInto(h, type, p1, p2, waitingPlaces, arrivalRate);
    return h;
}

void buildHazardRatesInto(HazardRates& h, PatienceType type, double p1, double p2, int waitingPlaces,
                          double arrivalRate) {
    assert(waitingPlaces >= 0);
    h.factorialTable[0] = 1.0;
    for (int i = 1; i <= 12; ++i) h.factorialTable[i] = h.factorialTable[i - 1] * static_cast<double>(i);
    const double e = std::exp(1.0);

    const int r = waitingPlaces;
    const std::size_t size = static_cast<std::size_t>(r) + 1;
    h.hazardRate.assign(size, 0.0);
    h.cumulativeAbandonRate.assign(size, 0.0);
    h.hazardRate[0] = -1.0;  // placeholder: positions count from 1
    h.cumulativeAbandonRate[0] = 0.0;

    if (type == PatienceType::Exponential) {
        assert(p1 >= 0);
        for (int k = 1; k <= r; ++k) h.hazardRate[k] = p1;
    } else if (type == PatienceType::Erlang) {
        assert(p2 >= 1 && p2 <= 12 && p1 >= 0 && arrivalRate > 0);
        const int n = static_cast<int>(p2);  // the fraction is dropped
        for (int k = 1; k <= r; ++k) {
            const double x = static_cast<double>(k) / arrivalRate;
            const double y = x * p1;
            const double E = std::pow(e, -y);
            const double f = std::pow(p1, p2) * std::pow(x, p2 - 1) * E / h.factorialTable[n - 1];
            double S = 0.0;
            for (int i = 0; i < n; ++i) S = S + (integerPower(y, i) * E) / h.factorialTable[i];
            double rate = f / S;
            if (!std::isfinite(rate)) rate = erlangHazardStable(y, p1, p2, n);
            h.hazardRate[k] = rate;
        }
    } else if (type == PatienceType::Lognormal) {
        const double sigma = lognormalSigma(p1, p2);
        assert(p1 > 0 && p2 > 0 && arrivalRate > 0 && sigma > 0 && std::isfinite(sigma));
        const double m = std::log(p1) - (0.5 * sigma) * sigma;
        const double twoSigmaSquared = (sigma + sigma) * sigma;
        const double c = std::sqrt(0.6366197723675814);  // sqrt(2 / pi)
        const double w = std::sqrt(2.0) * sigma;
        for (int k = 1; k <= r; ++k) {
            const double x = static_cast<double>(k) / arrivalRate;
            const double d = m - std::log(x);
            const double g = std::pow(e, -(d * d) / twoSigmaSquared);
            double rate = (c * g) / ((erfApprox(d / w) + 1) * (sigma * x));
            if (!std::isfinite(rate)) rate = lognormalHazardStable(x, d, w, sigma);
            h.hazardRate[k] = rate;
        }
    } else {
        throw std::invalid_argument("buildHazardRates: unspecified patience distribution");
    }

    for (int k = 1; k <= r; ++k) h.cumulativeAbandonRate[k] = h.cumulativeAbandonRate[k - 1] + h.hazardRate[k];
}

}  // namespace queuecalc
