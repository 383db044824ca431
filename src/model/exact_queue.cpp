#include "model/exact_queue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include <boost/math/policies/policy.hpp>
#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/constants/constants.hpp>
#include <boost/math/special_functions/erf.hpp>
#include <boost/math/special_functions/gamma.hpp>


namespace queuecalc {

namespace {

// Boost.Math without exceptions (a value out of range comes back as NaN or
// infinity, which the measure checks report) and, in double, without
// promotion to long double: the double path is the fast one, and its
// rounding is counted in the bounds (Precision::specialUlps).
using DoublePolicy = boost::math::policies::policy<
    boost::math::policies::promote_double<false>, boost::math::policies::domain_error<boost::math::policies::errno_on_error>,
    boost::math::policies::pole_error<boost::math::policies::errno_on_error>,
    boost::math::policies::overflow_error<boost::math::policies::errno_on_error>,
    boost::math::policies::evaluation_error<boost::math::policies::errno_on_error>>;
using LongPolicy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::errno_on_error>,
    boost::math::policies::pole_error<boost::math::policies::errno_on_error>,
    boost::math::policies::overflow_error<boost::math::policies::errno_on_error>,
    boost::math::policies::evaluation_error<boost::math::policies::errno_on_error>>;

// The drop of psi below its maximum at which the intervals end: e^-45 =
// 2.9e-20, below the tolerance by far; the rest is bounded rigorously.
constexpr double kTailDrop = 45;
// The drop of psi across the first interval from the mode; deeper intervals
// take more (kDropGrowth of the depth reached), since their share of every
// integral is smaller by e^-depth while the 10-point Gauss rule's error grows
// with the drop: with 12 + depth most intervals meet kTolerance at once
// (typically 4 to 8 intervals, a few halved).
constexpr double kFirstDrop = 12;
constexpr double kDropGrowth = 1.0;
// The quadrature's target, relative to each integral's natural scale (the
// integral of K for the probabilities, the integral itself for the moments).
// It holds the Gauss-Kronrod difference, which estimates the 10-point Gauss
// rule's error: the 21-point sum used is far closer (against the 50-digit
// references the errors stay near 1e-16 relative with this target and with
// 1e-15, at three quarters of the intervals).
constexpr double kTolerance = 1e-12;
// No more intervals than this (the estimate is then reported as it is).
constexpr std::size_t kMaxIntervals = 4000;
// Magnitudes (|psi| + s mu w over the breakpoints) up to which the double
// path keeps psi to a few hundred ulp of 1 (about 1e-13 relative in K; the
// bounds count it); beyond, long double.
constexpr double kDoubleMagnitude = 600;
constexpr int kDoubleRoom = 500;
// Breakpoints on one side at most: the steps grow fourfold where psi is
// flat, so 70 of them span 1/(s mu) to beyond any double.
constexpr int kMaxSteps = 2000;
// An exponent whose e^x is a finite double (and long double) with room.
constexpr double kSafeExponent = 600;
// QUEUECALC_DOUBLE_ONLY (the WebAssembly build, where long double is a
// software type many times slower): the double path takes every input, its
// bounds widened where it leaves the limits above. Beyond kDoubleMagnitude the
// rounding terms already grow with the magnitudes (Solver::integrate); rooms
// beyond kDoubleRoom take Temme's expansion in double, counted with the ulps
// allowed to it in long double (kTemmeUlps). Elsewhere the bits are the
// double path's, as in every other build.
#ifdef QUEUECALC_DOUBLE_ONLY
constexpr bool kDoubleOnly = true;
using Wide = double;
#else
constexpr bool kDoubleOnly = false;
using Wide = long double;
#endif
constexpr double kTemmeUlps = 64;

template <class Real>
struct Precision;
// specialUlps: the relative error of one special-function value, in units
// of the working precision. In double, Boost.Math's gamma_p and gamma_q at
// small integer a (finite sums and series) and erfc are within a few ulp;
// the double path leaves larger rooms to long double. In long double,
// Temme's expansion for large a is held to a few tens of ulp. Both with
// room; the tests hold the bounds against 50-digit references.
template <>
struct Precision<double> {
    using Policy = DoublePolicy;
    static constexpr double specialUlps = 8;
};
template <>
struct Precision<long double> {
    using Policy = LongPolicy;
    [[maybe_unused]] static constexpr double specialUlps = 64;  // unused where only double runs
};

// The ulps of one special-function value with a room of r places.
template <class Real>
constexpr double specialUlps(int r) {
    return kDoubleOnly && std::is_same<Real, double>::value && r > kDoubleRoom ? kTemmeUlps
                                                                              : Precision<Real>::specialUlps;
}

// The Gauss-Kronrod 10/21 rule on [-1, 1], from Boost.Math's tables: the
// Kronrod weights, and the Gauss weights at the Gauss nodes (0 elsewhere).
template <class Real>
struct KronrodRule {
    std::array<Real, 21> x{};
    std::array<Real, 21> kronrod{};
    std::array<Real, 21> gauss{};
    KronrodRule() {
        using GK = boost::math::quadrature::gauss_kronrod<Real, 21>;
        using G = boost::math::quadrature::gauss<Real, 10>;
        const auto& a = GK::abscissa();  // 0 and the 10 positive nodes
        const auto& w = GK::weights();
        std::size_t n = 0;
        x[n] = 0;
        kronrod[n] = w[0];
        gauss[n] = 0;  // the 10-point rule has no node at 0
        ++n;
        for (std::size_t i = 1; i < a.size(); ++i) {
            const Real g = (i % 2 == 1) ? G::weights()[i / 2] : Real(0);
            for (int sign : {-1, 1}) {
                x[n] = sign * a[i];
                kronrod[n] = w[i];
                gauss[n] = g;
                ++n;
            }
        }
    }
};

// The patience distribution in closed form: Gbar = P(tau > w), G = 1 -
// Gbar (each formed without the other's cancellation) and the partial
// moments m_n(w) = int_0^w y^n g(y) dy.
template <class Real>
struct Patience {
    using Policy = typename Precision<Real>::Policy;
    enum class Kind { None, Erlang, Lognormal } kind = Kind::None;
    Real rate = 0;  // Erlang: of each phase (exponential: one phase)
    int phases = 1;
    Real mu = 0, sigma = 0;  // lognormal: of ln tau
    Real inverseSigmaRoot2 = 0, sigmaRoot2Half = 0;  // 1 / (sigma sqrt 2), sigma / sqrt 2
    Real scale1 = 0, scale2 = 0;  // m_n = scale_n * P(...)

    struct Values {
        Real survival, distribution, moment1, moment2;
    };

    static Patience of(const ModelInput& in) {
        Patience p;
        switch (in.patience) {
            case PatienceType::Exponential:
            case PatienceType::Erlang:
                if (!(in.abandonParam1 > 0)) return p;  // rate 0: nobody abandons
                p.kind = Kind::Erlang;
                p.rate = in.abandonParam1;
                p.phases = in.patience == PatienceType::Exponential ? 1 : static_cast<int>(in.abandonParam2);
                p.scale1 = p.phases / p.rate;
                p.scale2 = Real(p.phases) * (p.phases + 1) / (p.rate * p.rate);
                return p;
            case PatienceType::Lognormal: {
                p.kind = Kind::Lognormal;
                const Real mean = in.abandonParam1;
                const Real variance = in.abandonParam2;
                p.sigma = std::sqrt(std::log1p(variance / (mean * mean)));
                p.mu = std::log(mean) - p.sigma * p.sigma / 2;
                p.inverseSigmaRoot2 = 1 / (p.sigma * std::sqrt(Real(2)));
                p.sigmaRoot2Half = p.sigma / std::sqrt(Real(2));
                p.scale1 = std::exp(p.mu + p.sigma * p.sigma / 2);
                p.scale2 = std::exp(2 * p.mu + 2 * p.sigma * p.sigma);
                return p;
            }
            case PatienceType::Unspecified: break;
        }
        throw std::invalid_argument("solveExactQueue: the patience type is not specified");
    }

    bool abandons() const { return kind != Kind::None; }

    // Gbar and m_1 only (the other two 0), for the search of the intervals.
    Values survivalAndFirstMoment(Real w) const {
        using namespace boost::math;
        if (kind == Kind::None || !(w > 0)) return {Real(1), Real(0), Real(0), Real(0)};
        if (kind == Kind::Erlang) {
            const Real x = rate * w;
            if (phases == 1) return {std::exp(-x), Real(0), scale1 * gamma_p(Real(2), x, Policy()), Real(0)};
            const Real k = phases;
            return {gamma_q(k, x, Policy()), Real(0), scale1 * gamma_p(k + 1, x, Policy()), Real(0)};
        }
        const Real z = (std::log(w) - mu) / sigma;
        const Real root2 = std::sqrt(Real(2));
        return {erfc(z / root2, Policy()) / 2, Real(0), scale1 * erfc(-(z - sigma) / root2, Policy()) / 2, Real(0)};
    }

    // The hazard g / Gbar (for the loss integrand's peak only).
    Real hazard(Real w) const {
        using namespace boost::math;
        if (kind == Kind::None) return 0;
        if (kind == Kind::Erlang) {
            if (phases == 1) return rate;
            const Real x = rate * w;
            return rate * gamma_p_derivative(Real(phases), x, Policy()) / gamma_q(Real(phases), x, Policy());
        }
        if (!(w > 0)) return 0;
        const Real z = (std::log(w) - mu) / sigma;
        const Real pi = boost::math::constants::pi<Real>();
        return std::exp(-z * z / 2) / (std::sqrt(2 * pi) * sigma * w * (erfc(z / std::sqrt(Real(2)), Policy()) / 2));
    }

    // Where the patience distribution changes, for the intervals: the waits
    // at which G reaches 1e-6, 1e-2 and 1/2 and Gbar falls to 1e-2, 1e-6,
    // 1e-12, 1e-20 and 1e-30 (none where nobody abandons): beyond the last,
    // what Gbar leaves between nodes is below every bound. Without them, patience far shorter
    // than the queue's own time scale would fall between the nodes of K's
    // intervals, and every node would see Gbar = 0.
    std::vector<Real> quantiles() const {
        using namespace boost::math;
        std::vector<Real> w;
        if (kind == Kind::None) return w;
        const Real lower[] = {Real(1e-6), Real(1e-2), Real(0.5)};
        const Real upper[] = {Real(1e-2), Real(1e-6), Real(1e-12), Real(1e-20), Real(1e-30)};
        if (kind == Kind::Erlang) {
            for (const Real q : lower) w.push_back(gamma_p_inv(Real(phases), q, Policy()) / rate);
            for (const Real p : upper) w.push_back(gamma_q_inv(Real(phases), p, Policy()) / rate);
        } else {
            const Real root2 = std::sqrt(Real(2));
            for (const Real q : lower) w.push_back(std::exp(mu - sigma * root2 * erfc_inv(2 * q, Policy())));
            for (const Real p : upper) w.push_back(std::exp(mu + sigma * root2 * erfc_inv(2 * p, Policy())));
        }
        return w;
    }

    // Gbar and G: the smaller by its special function, the other as its
    // complement (at least 1/2, so to an ulp).
    Values at(Real w) const {
        using namespace boost::math;
        if (kind == Kind::None || !(w > 0)) return {Real(1), Real(0), Real(0), Real(0)};
        if (kind == Kind::Erlang) {
            const Real x = rate * w;
            if (phases == 1) {
                const Real survival = std::exp(-x);
                return {survival, survival >= Real(0.5) ? -std::expm1(-x) : 1 - survival,
                        scale1 * gamma_p(Real(2), x, Policy()), scale2 * gamma_p(Real(3), x, Policy())};
            }
            const Real k = phases;
            // The median of Erlang-k lies below k: gamma_q(k, x) >= 1/2 for x <= k - 1/3.
            Real survival, distribution;
            if (x < k - Real(1) / 3) {
                distribution = gamma_p(k, x, Policy());
                survival = 1 - distribution;
            } else {
                survival = gamma_q(k, x, Policy());
                distribution = 1 - survival;
            }
            return {survival, distribution, scale1 * gamma_p(k + 1, x, Policy()), scale2 * gamma_p(k + 2, x, Policy())};
        }
        const Real z = (std::log(w) - mu) * inverseSigmaRoot2;  // (ln w - mu) / (sigma sqrt 2)
        const Real half = erfc(std::fabs(z), Policy()) / 2;      // the smaller of Gbar and G
        return {z >= 0 ? half : 1 - half, z >= 0 ? 1 - half : half,
                scale1 * erfc(sigmaRoot2Half - z, Policy()) / 2, scale2 * erfc(2 * sigmaRoot2Half - z, Policy()) / 2};
    }
};

// The room factor through S_r(z) = e^z Q_r(z) = sum_{n<r} z^n / n!, Q_r(z) =
// P(Poisson(z) <= r - 1), so that K(w) = e^{-s mu w} S_r(lambda H(w)): its log
// ln S_r(z) and h_r(z) = p_{r-1}(z) / Q_r(z), the hazard of Gamma(r, 1), which
// rises from 0 (1 when r = 1) to 1 (Gamma(r, 1) has an increasing hazard).
//  - r <= kSumRoom: the r terms themselves, z^n / n! being the weight of n
//    other callers waiting behind a head of age w; all positive, so the sum
//    is exact to 2r ulp (each term to 2n ulp), and h_r is the last term over
//    the sum. Five times cheaper than gamma_q at r = 20.
//  - larger rooms: Boost.Math's gamma_q and gamma_p_derivative (Temme's
//    uniform expansion near z = r), to specialUlps; where Q_r underflows
//    (z beyond the exponent range, so z > r), the finite sum
//    Q_r(z) / p_{r-1}(z) = sum_{j<r} (r-1)! / (r-1-j)! z^-j of falling terms.
constexpr int kSumRoom = 64;

template <class Real>
struct Room {
    using Policy = typename Precision<Real>::Policy;
    int r = 0;
    Real lgammaR = 0;
    std::vector<Real> reciprocal;  // 1 / n, n = 1 .. r - 1 (sum path)

    explicit Room(int waitingPlaces) : r(waitingPlaces), lgammaR(std::lgamma(Real(waitingPlaces))) {
        if (r <= kSumRoom)
            for (int n = 1; n < r; ++n) reciprocal.push_back(1 / Real(n));
    }

    // Relative rounding of S_r, in ulp.
    Real ulps() const { return r <= kSumRoom ? Real(2 * r + 2) : Real(specialUlps<Real>(r)); }

    // ln h_r: of the hazard where it is a normal number, else from
    // h_r = z^(r-1) / ((r-1)! S_r(z)) in logs (a room that z is far from
    // filling: h_r below the smallest number, down to e^-71000 at r = 13376).
    Real logHazard(Real z, Real logS, Real hazard) const {
        if (hazard > std::numeric_limits<Real>::min() || !(z > 0)) return std::log(hazard);
        return (r - 1) * std::log(z) - lgammaR - logS;
    }

    void logSumAndHazard(Real z, Real& logS, Real& hazard) const {
        using namespace boost::math;
        if (!(z > 0)) {
            logS = 0;
            hazard = r == 1 ? 1 : 0;
            return;
        }
        if (r <= kSumRoom) {
            Real term = 1, sum = 1;
            for (const Real inv : reciprocal) {
                term *= z * inv;
                sum += term;
            }
            logS = std::log(sum);
            hazard = term / sum;
            return;
        }
        const Real q = gamma_q(Real(r), z, Policy());
        if (q > std::numeric_limits<Real>::min()) {
            logS = z + std::log(q);
            hazard = gamma_p_derivative(Real(r), z, Policy()) / q;
            return;
        }
        Real sum = 1, term = 1;
        for (int j = 1; j < r; ++j) {
            term *= (r - j) / z;
            sum += term;
            if (term < sum * std::numeric_limits<Real>::epsilon()) break;
        }
        logS = (r - 1) * std::log(z) - lgammaR + std::log(sum);
        hazard = 1 / sum;
    }

};

// One node of the quadrature: everything the integrands need.
template <class Real>
struct Node {
    Real w = 0;
    Real weight = 0;  // Kronrod weight times the half-length
    Real gaussWeight = 0;
    Real k = 0;         // K(w) / e^psiMax
    Real loss = 0;      // Gbar h_r K / e^lossMax (times lambda: the loss integrand)
    Real rounding = 0;  // bound of the relative error of k
    typename Patience<Real>::Values p{};
};

// The integrands over the nodes; the number and order are fixed.
enum Integrand : std::size_t {
    kJ,         // K
    kServed,    // Gbar K
    kAbandon,   // G K
    kWait1,     // w Gbar K
    kWait2,     // w^2 Gbar K
    kAbandon1,  // m_1 K
    kAbandon2,  // m_2 K
    kLoss,      // Gbar h_r K
    kIntegrandCount
};

template <class Real>
using Sums = std::array<Real, kIntegrandCount>;

// A log-integrand at one point: its value, its slope, and a slope that
// bounds it from above from here on (the tail bound's rate).
template <class Real>
struct Point {
    Real w = 0, value = 0, slope = 0, tailSlope = 0;
};

template <class Real>
class Solver {
public:
    explicit Solver(const ModelInput& in)
        : patience_(Patience<Real>::of(in)), room_(in.waitingPlaces) {
        s_ = in.servers;
        r_ = in.waitingPlaces;
        lambda_ = in.arrivalRate;
        smu_ = Real(in.servers) * Real(in.serviceRate);
    }

    struct Shape {
        Real psi, slope, logS, hazardR, z;
        typename Patience<Real>::Values p;
    };

    // psi(w) = ln K(w) = ln S_r(lambda H(w)) - s mu w and its slope
    // psi' = lambda Gbar (1 - h_r) - s mu, non-increasing (a product of two
    // non-negative non-increasing factors, less a constant): psi is concave.
    Shape shape(Real w, bool full) const {
        Shape sh;
        sh.p = full ? patience_.at(w) : patience_.survivalAndFirstMoment(w);
        const Real H = sh.p.moment1 + w * sh.p.survival;
        sh.z = lambda_ * H;
        room_.logSumAndHazard(sh.z, sh.logS, sh.hazardR);
        sh.psi = sh.logS - smu_ * w;
        sh.slope = lambda_ * sh.p.survival * (1 - sh.hazardR) - smu_;
        return sh;
    }

    Point<Real> psiPoint(Real w) const {
        const Shape sh = shape(w, false);
        return {w, sh.psi, sh.slope, sh.slope};
    }

    // The loss integrand's log, l(w) = psi + ln Gbar + ln h_r (less ln lambda),
    // = (r - 1) ln(lambda H) - s mu w + ln Gbar - ln (r - 1)!; its slope
    // (r - 1) Gbar / H - s mu - h(w), h the patience hazard, falls below
    // (r - 1) Gbar / H - s mu, a non-increasing bound: the tail's rate.
    Point<Real> lossPoint(Real w) const {
        const Shape sh = shape(w, false);
        const Real H = sh.z / lambda_;
        const Real bound = H > 0 ? (r_ - 1) * sh.p.survival / H - smu_ : std::numeric_limits<Real>::infinity();
        // Where Gbar is below the exponent range nobody is left to fill the
        // room: the log is -inf, and so is the slope (the hazard would be 0/0).
        if (!(sh.p.survival > 0)) return {w, -std::numeric_limits<Real>::infinity(), -std::numeric_limits<Real>::infinity(), bound};
        return {w, sh.psi + std::log(sh.p.survival) + room_.logHazard(sh.z, sh.logS, sh.hazardR),
                bound - patience_.hazard(w), bound};
    }

    // Where a log-integrand with a non-increasing slope (or one that changes
    // sign once) peaks: 0 where its slope at 0+ is <= 0, else by bisection.
    template <class F>
    Real peak(F f, bool risesAtZero) const {
        if (!risesAtZero) return 0;
        Real hi = 1 / smu_;
        for (int guard = 0; guard < 2000 && f(hi).slope > 0; ++guard) hi *= 2;
        Real lo = 0;
        for (int i = 0; i < 60 && hi - lo > Real(1e-6) * hi; ++i) {
            const Real mid = (lo + hi) / 2;
            (f(mid).slope > 0 ? lo : hi) = mid;
        }
        return (lo + hi) / 2;
    }

    // Breakpoints from `from` in direction `dir` (+1 right, -1 left toward 0)
    // where the log-integrand f has fallen below `top` by about
    // kFirstDrop + kDropGrowth * depth each; to the right until it is
    // kTailDrop below with a negative tail slope, to the left until 0 or
    // kTailDrop. Each step is sized by a quadratic model of the drop
    // (slope and the drop last seen), so that few are tried again.
    template <class F>
    std::vector<Real> steps(F f, Point<Real> at, Real top, int dir, Real firstStep, Point<Real>& last,
                            Real& maxMagnitude) const {
        std::vector<Real> points;
        Real step = firstStep;
        for (int count = 0; count < kMaxSteps; ++count) {
            // A value that is not a number ends the steps: the integrals then
            // come out as no number, which the measure checks report.
            if (!std::isfinite(at.value) && at.value != -std::numeric_limits<Real>::infinity()) break;
            const Real depth = top - at.value;
            if (dir > 0 && depth >= kTailDrop && at.tailSlope < 0) break;
            if (dir < 0 && (at.w <= 0 || depth >= kTailDrop)) break;
            const Real want = kFirstDrop + kDropGrowth * depth;
            const Real a = std::max<Real>(0, -dir * at.slope);  // the drop's rate at `at`
            // Where psi is flat (a = 0, or nearly) the step still grows, fourfold.
            if (count > 0) step = a > 0 ? std::min(step * 4, want / a) : step * 4;
            else if (a > 0) step = want / a;
            if (dir < 0) step = std::min(step, at.w);
            Point<Real> next = f(at.w + dir * step);
            for (int tries = 0; tries < 12; ++tries) {
                const Real drop = at.value - next.value;
                if (drop <= 1.5 * want || !(drop == drop)) break;
                // drop(d) = a d + b d^2 through the drop seen; the d for `want`.
                const Real b = std::max<Real>((drop - a * step) / (step * step), 0);
                const Real d = b > 0 ? 2 * want / (a + std::sqrt(a * a + 4 * b * want)) : want / a;
                step = std::max(std::min(d, step / 2), step / 16);
                next = f(at.w + dir * step);
            }
            at = next;
            maxMagnitude = std::max(maxMagnitude, std::fabs(at.value) + smu_ * at.w);
            points.push_back(at.w);
        }
        last = at;
        return points;
    }

    // The breakpoints of a log-integrand f around its peak at `mode`, 0
    // first; `last` is the last point to the right.
    template <class F>
    std::vector<Real> breakpoints(F f, Real mode, Point<Real>& top, Point<Real>& last, Real& maxMagnitude) const {
        top = f(mode);
        const Real scale = std::max<Real>(mode, 1 / smu_);
        std::vector<Real> points{0};
        if (mode > 0) {
            Point<Real> left;
            std::vector<Real> l = steps(f, top, top.value, -1, scale / 4, left, maxMagnitude);
            for (auto it = l.rbegin(); it != l.rend(); ++it)
                if (*it > 0) points.push_back(*it);
            points.push_back(mode);
        }
        const Real first = top.slope < 0 ? std::min(scale, kFirstDrop / -top.slope) : scale / 4;
        const std::vector<Real> r = steps(f, top, top.value, +1, first, last, maxMagnitude);
        points.insert(points.end(), r.begin(), r.end());
        return points;
    }

    // The 21 nodes of [a, b] and their contributions: Kronrod sums, the
    // Gauss-Kronrod differences and the bounds of their rounding.
    void integrate(Real a, Real b, Real psiMax, Real lossMax, Sums<Real>& kronrod, Sums<Real>& error,
                   Sums<Real>& rounding, std::vector<Node<Real>>* keep) const {
        static const KronrodRule<Real> rule;
        const Real half = (b - a) / 2, centre = (a + b) / 2;
        if (keep) keep->reserve(keep->size() + 21);
        Sums<Real> gauss{};
        kronrod.fill(0);
        rounding.fill(0);
        const Real eps = std::numeric_limits<Real>::epsilon();
        for (std::size_t i = 0; i < 21; ++i) {
            Node<Real> n;
            n.w = centre + half * rule.x[i];
            n.weight = half * rule.kronrod[i];
            n.gaussWeight = half * rule.gauss[i];
            const Shape sh = shape(n.w, true);
            n.p = sh.p;
            n.k = std::exp(sh.psi - psiMax);
            // In logs where the hazard or the scale is beyond the exponent range.
            n.loss = sh.hazardR > std::numeric_limits<Real>::min() && sh.psi - lossMax < kSafeExponent
                         ? std::exp(sh.psi - lossMax) * n.p.survival * sh.hazardR
                         : std::exp(sh.psi - lossMax + std::log(n.p.survival) +
                                    room_.logHazard(sh.z, sh.logS, sh.hazardR));
            // psi's terms each to a few ulp of their size, lambda H to the
            // patience functions' ulps, S_r to its own, the exponential to 2.
            n.rounding = eps * (specialUlps<Real>(r_) * (sh.z + 1) + 4 * smu_ * n.w + room_.ulps() + 4 * std::fabs(sh.logS) + 8);
            Sums<Real> f;
            f[kJ] = n.k;
            f[kServed] = n.p.survival * n.k;
            f[kAbandon] = n.p.distribution * n.k;
            f[kWait1] = n.w * f[kServed];
            f[kWait2] = n.w * f[kWait1];
            f[kAbandon1] = n.p.moment1 * n.k;
            f[kAbandon2] = n.p.moment2 * n.k;
            f[kLoss] = n.loss;
            for (std::size_t j = 0; j < kIntegrandCount; ++j) {
                kronrod[j] += n.weight * f[j];
                gauss[j] += n.gaussWeight * f[j];
                rounding[j] += n.weight * std::fabs(f[j]) * (n.rounding + specialUlps<Real>(r_) * eps);
            }
            if (keep) keep->push_back(n);
        }
        for (std::size_t j = 0; j < kIntegrandCount; ++j) error[j] = std::fabs(kronrod[j] - gauss[j]);
    }

    const Patience<Real> patience_;
    Room<Real> room_;
    int s_ = 0, r_ = 0;
    Real lambda_ = 0, smu_ = 0;
};

// ln(e^x + e^y), either possibly -inf.
template <class Real>
Real logSum(Real x, Real y) {
    if (x < y) std::swap(x, y);
    if (x == -std::numeric_limits<Real>::infinity()) return x;
    return x + std::log1p(std::exp(y - x));
}

// ln E_s, E_s = sum_{j<s} pi_j / pi_s = e^a Q(s, a) s! / a^s (a = lambda / mu,
// s >= 1), and in `error` a bound of its absolute error: a few ulp of each
// term's size, the special functions to `ulps`.
template <class Real>
Real logWaitFree(int s, Real a, Real& error, double ulps = Precision<Real>::specialUlps) {
    using Policy = typename Precision<Real>::Policy;
    const Real eps = std::numeric_limits<Real>::epsilon();
    const Real q = boost::math::gamma_q(Real(s), a, Policy());
    const Real lg = std::lgamma(Real(s) + 1);
    const Real sLogA = s * std::log(a);
    error = eps * (4 * (a + std::fabs(lg) + std::fabs(sLogA)) + 2 * ulps);
    return a + std::log(q) + lg - sLogA;
}

// A bound of the absolute error of num / den from bounds of the errors of
// num and den (first order, with 1 % for the rest).
double quotientBound(double num, double den, double numError, double denError) {
    if (!(den != 0)) return std::numeric_limits<double>::quiet_NaN();
    return 1.01 * (numError + std::fabs(num / den) * denError) / std::fabs(den) +
           4 * std::numeric_limits<double>::epsilon() * std::fabs(num / den);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEps = std::numeric_limits<double>::epsilon();
// rho = lambda / (s mu): two roundings, and the inputs' own conversion from
// decimal text (half an ulp each).
constexpr double kRhoUlps = 4;

void fillMoments(ExactQueueResult& out, std::size_t n, double joint, double conditional, double jointBound,
                 double conditionalBound) {
    out.joint.assign(n, joint);
    out.conditional.assign(n, conditional);
    out.jointBound.assign(n, jointBound);
    out.conditionalBound.assign(n, conditionalBound);
}

// No agents: nobody is served; an admitted caller waits for its patience and
// leaves. The callers present form an M/G/r/r loss system with holding time
// tau, so P(Loss) is Erlang B with r places and load lambda E[tau]
// (insensitivity). Without abandonment, or without room, nobody is admitted.
ExactQueueResult solveWithoutAgents(const ModelInput& in, std::size_t momentCount) {
    ExactQueueResult out;
    PerformanceMeasures& m = out.measures;
    PerformanceMeasures& e = out.bounds;
    m.rho = computeRho(in);
    const Patience<Wide> p = Patience<Wide>::of(in);
    // E[tau] and E[tau^2]: the partial moments' scales (where anybody abandons).
    const Wide mean = p.scale1, second = p.scale2;
    const double nan = kNaN;
    if (in.waitingPlaces == 0 || !p.abandons()) {
        for (double PerformanceMeasures::*member : kPerformanceMembers) m.*member = nan;
        m.rho = computeRho(in);
        m.lossProb = 1;
        fillMoments(out, momentCount, nan, nan, nan, nan);
        return out;
    }
    Wide error = 0;
    const Wide logE = logWaitFree<Wide>(in.waitingPlaces, in.arrivalRate * mean, error, specialUlps<Wide>(in.waitingPlaces));
    m.lossProb = static_cast<double>(std::exp(-logSum<Wide>(logE, 0)));
    e.lossProb = 1.01 * m.lossProb * static_cast<double>(error) + 4 * kEps * m.lossProb;
    m.noWaitProb = 0;
    m.servedProb = 0;
    m.abandonProb = 1;
    m.partialMeanServed = 0;
    m.partialSecondMomentServed = 0;
    m.meanWaitServed = nan;
    m.secondMomentServed = nan;
    m.varianceServed = nan;
    m.partialMeanAbandon = m.meanWaitAbandon = static_cast<double>(mean);
    m.partialSecondMomentAbandon = m.secondMomentAbandon = static_cast<double>(second);
    m.varianceAbandon = p.kind == Patience<Wide>::Kind::Lognormal
                            ? in.abandonParam2
                            : static_cast<double>(p.phases / (p.rate * p.rate));
    e.partialMeanAbandon = e.meanWaitAbandon = 8 * kEps * m.meanWaitAbandon;
    e.partialSecondMomentAbandon = e.secondMomentAbandon = 8 * kEps * m.secondMomentAbandon;
    e.varianceAbandon = 8 * kEps * m.secondMomentAbandon;
    fillMoments(out, momentCount, 0, nan, 0, nan);
    return out;
}

// No waiting places: Erlang B; everybody admitted is answered at once.
ExactQueueResult solveWithoutRoom(const ModelInput& in, std::size_t momentCount) {
    ExactQueueResult out;
    PerformanceMeasures& m = out.measures;
    m.rho = computeRho(in);
    out.bounds.rho = kRhoUlps * kEps * m.rho;
    Wide error = 0;
    const Wide logE = logWaitFree<Wide>(in.servers, Wide(in.arrivalRate) / in.serviceRate, error, specialUlps<Wide>(in.servers));
    m.lossProb = static_cast<double>(std::exp(-logSum<Wide>(logE, 0)));
    out.bounds.lossProb = 1.01 * m.lossProb * static_cast<double>(error) + 4 * kEps * m.lossProb;
    m.noWaitProb = 1;
    m.servedProb = 1;
    m.abandonProb = 0;
    m.meanWaitAbandon = m.secondMomentAbandon = m.varianceAbandon = kNaN;
    fillMoments(out, momentCount, 0, 1, 0, 0);
    return out;
}

// One interval of the quadrature with its nodes and sums.
template <class Real>
struct Piece {
    Real a = 0, b = 0;
    Sums<Real> value{}, error{}, rounding{};
    std::vector<Node<Real>> nodes;
};

// Integrates over the breakpoints, then halves every interval whose
// Gauss-Kronrod difference for one of the integrals `checked` exceeds its
// share of that integral's tolerance while standing clear of its rounding.
template <class Real>
std::vector<Piece<Real>> integratePieces(const Solver<Real>& solver, const std::vector<Real>& points, Real psiMax,
                                         Real lossMax, const std::vector<std::size_t>& checked, bool keepNodes) {
    std::vector<Piece<Real>> pieces(points.size() - 1);
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        pieces[i].a = points[i];
        pieces[i].b = points[i + 1];
        solver.integrate(pieces[i].a, pieces[i].b, psiMax, lossMax, pieces[i].value, pieces[i].error,
                         pieces[i].rounding, keepNodes ? &pieces[i].nodes : nullptr);
    }
    for (int round = 0; round < 40; ++round) {
        Sums<Real> total{}, error{}, rounding{}, share{};
        for (const auto& p : pieces)
            for (std::size_t j = 0; j < kIntegrandCount; ++j) {
                total[j] += p.value[j];
                error[j] += p.error[j];
                rounding[j] += p.rounding[j];
            }
        bool enough = true;
        for (std::size_t j : checked) {
            // Probabilities against the integral of K (their scale), P(Loss)
            // against that of Gbar K (its denominator's; on intervals of its
            // own, against itself), moments against themselves. No integral
            // is asked for more than its rounding allows.
            const Real scale = (j == kJ || j == kServed || j == kAbandon) ? total[kJ]
                               : j == kLoss && checked.size() > 1           ? std::max(total[kLoss], total[kServed])
                                                                           : total[j];
            const Real allowed = std::max(kTolerance * scale, rounding[j]);
            enough = enough && error[j] <= allowed;
            share[j] = allowed / static_cast<Real>(pieces.size());
        }
        if (enough) break;
        std::vector<Piece<Real>> next;
        next.reserve(pieces.size() * 2);
        bool split = false;
        for (auto& p : pieces) {
            bool bad = false;
            for (std::size_t j : checked) bad = bad || p.error[j] > share[j];
            if (!bad || next.size() + 2 > kMaxIntervals) {
                next.push_back(std::move(p));
                continue;
            }
            split = true;
            const Real mid = (p.a + p.b) / 2;
            for (const auto& [a, b] : {std::pair<Real, Real>{p.a, mid}, std::pair<Real, Real>{mid, p.b}}) {
                Piece<Real> half;
                half.a = a;
                half.b = b;
                solver.integrate(a, b, psiMax, lossMax, half.value, half.error, half.rounding,
                                 keepNodes ? &half.nodes : nullptr);
                next.push_back(std::move(half));
            }
        }
        pieces = std::move(next);
        if (!split) break;
    }
    return pieces;
}

// The tail of the integrals beyond the last interval's end tailW, as a
// bound: psi <= psi(tailW) - c (w - tailW), c = -psi'(tailW) (psi is
// concave), and Gbar <= Gbar(tailW), G <= 1, m_1 <= w, m_2 <= w^2, h_r <= 1.
// t0, t1 and t2 bound the integrals of e^psi, w e^psi and w^2 e^psi beyond
// tailW (over e^psiMax); gT is Gbar(tailW).
template <class Real>
struct TailBound {
    Real t0 = 0, t1 = 0, t2 = 0, gT = 0;
    Sums<Real> bound{};  // of each integrand
};

template <class Real>
TailBound<Real> tailBeyond(const Solver<Real>& solver, const Point<Real>& tail, Real psiMax) {
    const Real tailW = tail.w;
    const Real c = -tail.slope;
    const Real topT = std::exp(tail.value - psiMax);
    const Real t0 = topT / c, t1 = topT * (tailW / c + 1 / (c * c)),
               t2 = topT * (tailW * tailW / c + 2 * tailW / (c * c) + 2 / (c * c * c));
    const Real gT = solver.patience_.survivalAndFirstMoment(tailW).survival;
    TailBound<Real> tb;
    tb.t0 = t0;
    tb.t1 = t1;
    tb.t2 = t2;
    tb.gT = gT;
    Sums<Real>& tailBound = tb.bound;
    tailBound[kJ] = t0;
    tailBound[kServed] = gT * t0;
    tailBound[kAbandon] = t0;
    tailBound[kWait1] = gT * t1;
    tailBound[kWait2] = gT * t2;
    tailBound[kAbandon1] = t1;
    tailBound[kAbandon2] = t2;
    tailBound[kLoss] = gT * t0;
    return tb;
}

// Every integral over [0, inf), each over e^psiMax (the loss over e^lossMax),
// with a bound of its error: quadrature and rounding on the intervals, and
// the tail beyond them.
template <class Real>
struct Integrals {
    std::vector<Piece<Real>> pieces;  // K's intervals, with their nodes
    Sums<Real> total{}, bound{};
    TailBound<Real> tail;
    Real psiMax = 0, lossMax = 0;
};

// Whether the double path may go on with the magnitudes met so far.
template <class Real>
bool withinDoublePath(Real maxMagnitude) {
    return !(std::is_same<Real, double>::value && !kDoubleOnly && !(maxMagnitude <= kDoubleMagnitude));
}

// The loss on its own intervals, scaled by its own peak lossMax: replaces
// total[kLoss] and bound[kLoss] and sets lossMax. False where the double path
// meets magnitudes beyond kDoubleMagnitude (maxMagnitude: those met so far).
template <class Real>
bool integrateLossAlone(const Solver<Real>& solver, const ModelInput& in, Real maxMagnitude, Integrals<Real>& q) {
    const Real psiMax = q.psiMax;
    auto lossAt = [&](Real w) { return solver.lossPoint(w); };
    const Real lossMode = solver.peak(lossAt, in.waitingPlaces > 1);
    Point<Real> lossTop, lossTail;
    std::vector<Real> lossPoints = solver.breakpoints(lossAt, lossMode, lossTop, lossTail, maxMagnitude);
    if (!withinDoublePath(maxMagnitude)) return false;
    const Real lossMax = lossTop.value;
    q.lossMax = lossMax;
    const std::vector<Piece<Real>> lossPieces = integratePieces(solver, lossPoints, psiMax, lossMax, {kLoss}, false);
    q.total[kLoss] = 0;
    q.bound[kLoss] = 0;
    for (const auto& p : lossPieces) {
        q.total[kLoss] += p.value[kLoss];
        q.bound[kLoss] += p.error[kLoss] + p.rounding[kLoss];
    }
    // Beyond its last point l falls at least at -tailSlope.
    q.bound[kLoss] += std::exp(lossTail.value - lossMax) / -lossTail.tailSlope;
    return true;
}

// The integrals of the queue (see Integrals). False where the double path
// meets magnitudes beyond kDoubleMagnitude.
template <class Real>
bool integrateAll(const Solver<Real>& solver, const ModelInput& in, Integrals<Real>& q) {
    auto psiAt = [&](Real w) { return solver.psiPoint(w); };
    Real maxMagnitude = 0;
    Point<Real> top, tail;
    const Real slope0 = solver.lambda_ * (in.waitingPlaces == 1 ? 0 : 1) - solver.smu_;
    const Real mode = solver.peak(psiAt, slope0 > 0);
    std::vector<Real> points = solver.breakpoints(psiAt, mode, top, tail, maxMagnitude);
    if (!withinDoublePath(maxMagnitude)) return false;
    const Real psiMax = top.value;
    q.psiMax = psiMax;
    const Real tailW = tail.w;
    for (const Real w : solver.patience_.quantiles())
        if (w > 0 && w < tailW) points.push_back(w);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());

    // The loss integrand Gbar h_r K peaks where the room is nearly full,
    // which may lie far beyond K's intervals. Where its own tail bound at
    // their end is not negligible, it gets intervals of its own.
    const Point<Real> lossEnd = solver.lossPoint(tailW);
    const bool ownLoss = !(lossEnd.tailSlope < 0 && lossEnd.value - psiMax < -kTailDrop);

    std::vector<std::size_t> checked{kJ, kServed, kAbandon, kWait1, kWait2, kAbandon1, kAbandon2};
    if (!ownLoss) checked.push_back(kLoss);
    q.pieces = integratePieces(solver, points, psiMax, psiMax, checked, true);
    for (const auto& p : q.pieces)
        for (std::size_t j = 0; j < kIntegrandCount; ++j) {
            q.total[j] += p.value[j];
            q.bound[j] += p.error[j] + p.rounding[j];
        }

    q.tail = tailBeyond(solver, tail, psiMax);
    for (std::size_t j = 0; j < kIntegrandCount; ++j) q.bound[j] += q.tail.bound[j];

    q.lossMax = psiMax;
    return !ownLoss || integrateLossAlone(solver, in, maxMagnitude, q);
}

// The normalisation, in logs: D = E_s + s mu e^psiMax J, all divided by
// e^scale so that neither part overflows. E = E_s and kappa = s mu e^psiMax
// over e^scale, with the bounds eE and eD; served = E + kappa int Gbar K, the
// denominator of the measures given S, with its bound; ln E_s and its error.
template <class Real>
struct Normalisation {
    Real logE = 0, errLogE = 0;
    double E = 0, kappa = 0, eE = 0, D = 0, eD = 0, served = 0, eServed = 0;
};

template <class Real>
Normalisation<Real> normalise(const Solver<Real>& solver, const ModelInput& in, const Integrals<Real>& q) {
    Normalisation<Real> norm;
    Real errLogE = 0;
    const Real logE = logWaitFree<Real>(solver.s_, Real(in.arrivalRate) / Real(in.serviceRate), errLogE);
    const Real logKappa = std::log(solver.smu_) + q.psiMax;
    const Real scale = std::max(logE, logKappa + std::log(q.total[kJ]));
    const double E = static_cast<double>(std::exp(logE - scale));
    const double kappa = static_cast<double>(std::exp(logKappa - scale));
    const double eE = 1.01 * E * static_cast<double>(errLogE);
    auto T = [&](std::size_t j) { return static_cast<double>(q.total[j]); };
    auto B = [&](std::size_t j) { return static_cast<double>(q.bound[j]); };
    const double D = E + kappa * T(kJ);
    const double eD = eE + kappa * B(kJ) + 2 * kEps * D;
    norm.logE = logE;
    norm.errLogE = errLogE;
    norm.E = E;
    norm.kappa = kappa;
    norm.eE = eE;
    norm.D = D;
    norm.eD = eD;
    norm.served = E + kappa * T(kServed);
    norm.eServed = eE + kappa * B(kServed);
    return norm;
}

// A bound of the error of num / den for quotients of integrals that may lie
// below the doubles' range: their relative errors in Real (NaN where den is
// not positive).
template <class Real>
double ratioBound(Real num, Real den, Real numError, Real denError) {
    if (!(den > 0)) return kNaN;
    const Real q = num / den;
    return static_cast<double>(Real(1.01) * (numError / den + std::fabs(q) * denError / den) +
                               4 * std::numeric_limits<Real>::epsilon() * std::fabs(q));
}

// RHO, the probabilities and the moments of the wait, partial and given S
// or A, with their bounds.
template <class Real>
void probabilitiesAndMoments(const ModelInput& in, const Integrals<Real>& q, const Normalisation<Real>& norm,
                             PerformanceMeasures& m, PerformanceMeasures& e) {
    const double E = norm.E, kappa = norm.kappa, eE = norm.eE, D = norm.D, eD = norm.eD;
    const double served = norm.served, eServed = norm.eServed;
    const Sums<Real>& total = q.total;
    const Sums<Real>& bound = q.bound;
    auto T = [&](std::size_t j) { return static_cast<double>(total[j]); };
    auto B = [&](std::size_t j) { return static_cast<double>(bound[j]); };
    m.rho = computeRho(in);
    e.rho = kRhoUlps * kEps * m.rho;
    m.noWaitProb = E / D;
    e.noWaitProb = quotientBound(E, D, eE, eD);
    m.servedProb = served / D;
    e.servedProb = quotientBound(served, D, eServed, eD);
    // kappa int f K over a denominator, and its bound.
    const auto quotient = [&](std::size_t j, double den, double denError, double& value, double& bound) {
        value = kappa * T(j) / den;
        bound = quotientBound(kappa * T(j), den, kappa * B(j), denError);
    };
    quotient(kAbandon, D, eD, m.abandonProb, e.abandonProb);
    quotient(kWait1, D, eD, m.partialMeanServed, e.partialMeanServed);
    quotient(kWait2, D, eD, m.partialSecondMomentServed, e.partialSecondMomentServed);
    quotient(kAbandon1, D, eD, m.partialMeanAbandon, e.partialMeanAbandon);
    quotient(kAbandon2, D, eD, m.partialSecondMomentAbandon, e.partialSecondMomentAbandon);
    quotient(kWait1, served, eServed, m.meanWaitServed, e.meanWaitServed);
    quotient(kWait2, served, eServed, m.secondMomentServed, e.secondMomentServed);
    const bool abandons = total[kAbandon] > 0;
    m.meanWaitAbandon = abandons ? static_cast<double>(total[kAbandon1] / total[kAbandon]) : kNaN;
    e.meanWaitAbandon = ratioBound(total[kAbandon1], total[kAbandon], bound[kAbandon1], bound[kAbandon]);
    m.secondMomentAbandon = abandons ? static_cast<double>(total[kAbandon2] / total[kAbandon]) : kNaN;
    e.secondMomentAbandon = ratioBound(total[kAbandon2], total[kAbandon], bound[kAbandon2], bound[kAbandon]);
}

// The variances as centred sums over the same nodes: the Kronrod sum,
// the Gauss-Kronrod difference per interval and the rounding as in
// Solver::integrate.
template <class Real>
void variances(const Integrals<Real>& q, const Normalisation<Real>& norm, PerformanceMeasures& m,
               PerformanceMeasures& e) {
    const double E = norm.E, kappa = norm.kappa, eE = norm.eE, served = norm.served, eServed = norm.eServed;
    const Sums<Real>& total = q.total;
    const Sums<Real>& bound = q.bound;
    const Real t0 = q.tail.t0, t2 = q.tail.t2, gT = q.tail.gT;
    auto T = [&](std::size_t j) { return static_cast<double>(total[j]); };
    const bool abandons = total[kAbandon] > 0;
    const Real meanS = static_cast<Real>(kappa * T(kWait1) / served);
    const Real meanA = abandons ? total[kAbandon1] / total[kAbandon] : Real(0);
    Real centredS = 0, centredA = 0, errS = 0, errA = 0;
    for (const auto& p : q.pieces) {
        Real ks = 0, gs = 0, ka = 0, ga = 0, rs = 0, ra = 0;
        for (const auto& n : p.nodes) {
            const Real d = n.w - meanS;
            const Real fs = d * d * n.p.survival * n.k;
            const Real fa = (n.p.moment2 - 2 * meanA * n.p.moment1 + meanA * meanA * n.p.distribution) * n.k;
            ks += n.weight * fs;
            gs += n.gaussWeight * fs;
            ka += n.weight * fa;
            ga += n.gaussWeight * fa;
            rs += n.weight * std::fabs(fs) * n.rounding;
            // The centred form cancels m_A^2 / Var-fold: its rounding counts
            // the sizes of its terms.
            ra += n.weight *
                  (n.p.moment2 + 2 * meanA * n.p.moment1 + meanA * meanA * n.p.distribution) * n.k * n.rounding;
        }
        centredS += ks;
        centredA += ka;
        errS += std::fabs(ks - gs) + rs;
        errA += std::fabs(ka - ga) + ra;
    }
    errS += gT * (t2 + meanS * meanS * t0);
    errA += t2 + meanA * meanA * t0;
    const double varNum = E * static_cast<double>(meanS * meanS) + kappa * static_cast<double>(centredS);
    // The centred sum is stationary in the mean (its derivative is
    // 2 (m served - kappa int w Gbar K) = 0 at m = E[W|S]), so the mean's own
    // error moves it only to second order.
    m.varianceServed = varNum / served;
    e.varianceServed = quotientBound(
        varNum, served, eE * static_cast<double>(meanS * meanS) + kappa * static_cast<double>(errS), eServed);
    m.varianceAbandon = abandons ? static_cast<double>(centredA / total[kAbandon]) : kNaN;
    e.varianceAbandon = ratioBound(centredA, total[kAbandon], errA, bound[kAbandon]);
}

// P(Loss) = lambda e^psiMax L / (E_s + 1 + lambda e^psiMax I_S), in logs.
template <class Real>
void lossProbability(const ModelInput& in, const Integrals<Real>& q, const Normalisation<Real>& norm,
                     PerformanceMeasures& m, PerformanceMeasures& e) {
    const Real logE = norm.logE, errLogE = norm.errLogE, psiMax = q.psiMax, lossMax = q.lossMax;
    const Sums<Real>& total = q.total;
    const Sums<Real>& bound = q.bound;
    const Real logLambda = std::log(Real(in.arrivalRate));
    const Real logLoss = logLambda + lossMax + std::log(total[kLoss]);
    const Real logServed = logLambda + psiMax + std::log(total[kServed]);
    const Real lossScale = std::max({logE, Real(0), logServed});
    const double lossNum = static_cast<double>(std::exp(logLoss - lossScale));
    const double lossDen = static_cast<double>(std::exp(logE - lossScale) + std::exp(-lossScale) +
                                               std::exp(logServed - lossScale));
    m.lossProb = lossNum / lossDen;
    // Relative errors in Real: the integrals may lie below the doubles' range.
    const double eLossNum = static_cast<double>(std::exp(logLambda + lossMax + std::log(bound[kLoss]) - lossScale));
    const double eLossDen = static_cast<double>(std::exp(logE - lossScale)) * static_cast<double>(errLogE) +
                            static_cast<double>(std::exp(logServed - lossScale)) *
                                static_cast<double>(bound[kServed] / total[kServed]);
    e.lossProb = quotientBound(lossNum, lossDen, eLossNum, eLossDen);
}

// The waiting-time distribution at the moments: the sum of Gbar K over the
// whole intervals before each, then the part of its own interval up to it,
// by the same rule. The intervals do not depend on the moments, so neither
// does any measure, and each moment's value and bound depend on that moment
// alone.
template <class Real>
void atMoments(const Solver<Real>& solver, const Integrals<Real>& q, const Normalisation<Real>& norm,
               const std::vector<double>& moments, ExactQueueResult& out) {
    const double E = norm.E, kappa = norm.kappa, eE = norm.eE, D = norm.D, eD = norm.eD, served = norm.served, eServed = norm.eServed;
    const std::vector<Piece<Real>>& pieces = q.pieces;
    const Real psiMax = q.psiMax;
    std::vector<std::size_t> order(moments.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return moments[x] < moments[y]; });
    out.joint.assign(moments.size(), 0);
    out.conditional.assign(moments.size(), 0);
    out.jointBound.assign(moments.size(), 0);
    out.conditionalBound.assign(moments.size(), 0);
    std::size_t at = 0;
    Real partial = 0, partialBound = 0;
    for (std::size_t k : order) {
        const Real t = moments[k];
        while (at < pieces.size() && pieces[at].b <= t) {
            partial += pieces[at].value[kServed];
            partialBound += pieces[at].error[kServed] + pieces[at].rounding[kServed];
            ++at;
        }
        Real thisPartial = partial, thisBound = partialBound;
        if (at == pieces.size()) {
            thisBound += q.tail.bound[kServed];
        } else if (t > pieces[at].a) {
            Sums<Real> value, error, rounding;
            solver.integrate(pieces[at].a, t, psiMax, psiMax, value, error, rounding, nullptr);
            thisPartial += value[kServed];
            thisBound += error[kServed] + rounding[kServed];
        }
        const double j = kappa * static_cast<double>(thisPartial);
        const double ej = kappa * static_cast<double>(thisBound);
        out.joint[k] = j / D;
        out.jointBound[k] = quotientBound(j, D, ej, eD);
        out.conditional[k] = (E + j) / served;
        out.conditionalBound[k] = quotientBound(E + j, served, eE + ej, eServed);
    }
}

// The queue with agents and room, in the precision Real. Returns false
// (leaving `out` alone) when the double path meets magnitudes beyond
// kDoubleMagnitude, so that the caller runs the long double path (never with
// kDoubleOnly).
template <class Real>
bool solveQueued(const ModelInput& in, const std::vector<double>& moments, ExactQueueResult& out) {
    // The double path's special functions are held to their ulps for rooms
    // up to kDoubleRoom only (larger ones take Temme's expansion).
    if (std::is_same<Real, double>::value && !kDoubleOnly && in.waitingPlaces > kDoubleRoom) return false;
    const Solver<Real> solver(in);
    Integrals<Real> q;
    if (!integrateAll(solver, in, q)) return false;
    const Normalisation<Real> norm = normalise(solver, in, q);
    probabilitiesAndMoments(in, q, norm, out.measures, out.bounds);
    variances(q, norm, out.measures, out.bounds);
    lossProbability(in, q, norm, out.measures, out.bounds);
    atMoments(solver, q, norm, moments, out);
    out.intervals = static_cast<int>(q.pieces.size());
    return true;
}

// Probabilities that rounding put a little outside [0, 1] are brought back
// where they are formed: the exact values lie inside, so the bounds hold.
void withinUnitInterval(ExactQueueResult& r) {
    const auto clamp = [](double& p) {
        if (!std::isnan(p)) p = std::clamp(p, 0.0, 1.0);
    };
    for (double* p : {&r.measures.lossProb, &r.measures.noWaitProb, &r.measures.servedProb, &r.measures.abandonProb})
        clamp(*p);
    for (double& p : r.joint) clamp(p);
    for (double& p : r.conditional) clamp(p);
}

}  // namespace

ExactQueueResult solveExactQueue(const ModelInput& in, const std::vector<double>& moments) {
    for (double t : moments)
        if (!(t > 0) || !std::isfinite(t))
            throw std::invalid_argument("solveExactQueue: every moment must be > 0 and finite");
    ExactQueueResult out;
    if (in.servers == 0)
        out = solveWithoutAgents(in, moments.size());
    else if (in.waitingPlaces == 0)
        out = solveWithoutRoom(in, moments.size());
    else if (!solveQueued<double>(in, moments, out))
        solveQueued<Wide>(in, moments, out);
    withinUnitInterval(out);
    return out;
}

}  // namespace queuecalc
