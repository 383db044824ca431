#include "inversion/exact_waiting.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <thread>

#include "core/thread_pool.h"

// The derivation, the formulas of every error term below and their proof:
// exact_waiting.md beside this file. Error terms are counted in units of the
// working precision's unit roundoff u (2^-64 extended, 2^-53 double).

namespace queuecalc {

// QUEUECALC_DOUBLE_ONLY (the WebAssembly build, where long double is a
// software quadruple type many times slower): the double path, with its bound.
bool exactExtendedPrecisionAvailable() {
#ifdef QUEUECALC_DOUBLE_ONLY
    return false;
#else
    return std::numeric_limits<long double>::digits > 53;
#endif
}

namespace {

// The self-loop law's power rho^m is recomputed from exp(m log rho) every B
// steps of m, so that the rounding of repeated products stays below 6 B u a
// row. B is the largest power of two, at least 16, that keeps the sum of
// these terms over r rows below kAnchorShare of the tolerance (few rows:
// hardly any exponentials; many: every 16 steps).
constexpr long kAnchorSpacingLeast = 16;
constexpr long kAnchorSpacingMost = 1L << 20;
constexpr double kAnchorShare = 0.05;
// Poisson weights up to this count are formed as e^-x x^n / n! directly; from
// here on Stirling's series with five terms has a remainder below 1e-22.
constexpr int kDirectPoissonLimit = 64;
// The share of the tolerance given to each Poisson tail, and to the rows left
// out; the rest is headroom.
constexpr double kTailShare = 0.25;
// Every error term is multiplied by this: it covers n u / (1 - n u) for every
// chain length that fits in memory and the rounding of the bound's own sums.
constexpr double kBoundMargin = 1.01;
// The largest Poisson window end the method takes on: its reciprocal table
// and a row's law hold this many numbers (1 GiB in long double).
constexpr long kMostEvents = 1L << 26;
// The largest reciprocal table also kept as two doubles (64 MiB more); a
// longer one is read whole, so that memory stays near the table's own.
constexpr std::size_t kMostSplit = std::size_t(1) << 22;
// Splitting costs about as much per entry as it saves per read: a table is
// split when it is long and, for a row's law, when several moments read it.
constexpr std::size_t kLeastSplit = 256;
// The death chain checks every this many events whether it has settled
// (its mass left below the tolerance); a sum over r states each time.
constexpr long kSettleCheck = 32;
// The mass the chain may still hold when it counts as settled, as a share of
// a tail's tolerance: small, since it is an error of one sign that a
// moment far out takes whole; reaching it costs a few more events.
constexpr double kSettledShare = 1.0 / 64;
// a_n carries at most (8 n + 8) u of relative error (section 7), below this
// for every n up to kMostEvents in either precision.
constexpr double kAbsorbedRelativeError = 1e-6;
// Moments times rows from which a second thread pays for its start.
constexpr double kWorkPerThread = 2e4;

template <class Real>
constexpr double unitRoundoff() {
    return std::numeric_limits<Real>::epsilon() / 2;
}

// P(X = n) for X ~ Poisson(x), n a window's first point, and its relative
// error in units of u (x taken as exact; the perturbation of x is counted by
// the caller).
// halfLogs caches ln(2 pi n) / 2 by n (0 = not yet computed; the value is
// the same expression whenever it is formed, so the cache changes no bit).
template <class Real>
Real poissonStart(long n, Real x, const std::vector<Real>& reciprocal, std::vector<Real>& halfLogs,
                  double& errorUnits) {
    if (n < kDirectPoissonLimit) {
        Real p = std::exp(-x);
        for (long i = 1; i <= n; ++i) p = p * (x * reciprocal[static_cast<std::size_t>(i)]);
        errorUnits = 4 + 3.0 * static_cast<double>(n);
        return p;
    }
    const Real nr = static_cast<Real>(n);
    const Real y = (x - nr) / nr;
    const Real l1 = std::log1p(y);
    const Real nl = nr * l1;
    Real& halfLog = halfLogs[static_cast<std::size_t>(n)];
    if (halfLog == 0) halfLog = std::log(static_cast<Real>(6.283185307179586476925286766559L) * nr) / 2;
    const Real inv = 1 / nr;
    const Real inv2 = inv * inv;
    // ln n! - (n ln n - n + ln(2 pi n) / 2), Stirling's series to 1/(1188 n^9);
    // the next term, 691/(360360 n^11), is below 1e-22 for n >= 64.
    const Real stirling =
        inv * (Real(1) / 12 - inv2 * (Real(1) / 360 - inv2 * (Real(1) / 1260 - inv2 * (Real(1) / 1680 - inv2 / 1188))));
    const Real arg = nl + (nr - x) - halfLog - stirling;
    const double yd = static_cast<double>(y);
    // Condition of log1p at y: |y / ((1 + y) log1p(y))|, at most 1 for y >= 0.
    double cond = 1;
    if (yd < 0 && yd > -1) cond = std::max(1.0, std::fabs(yd / ((1 + yd) * std::log1p(yd))));
    if (!(yd > -1)) cond = std::numeric_limits<double>::infinity();
    errorUnits = (2 * cond + 8) * std::fabs(static_cast<double>(nl)) +
                 4 * std::fabs(static_cast<double>(nr - x)) + 4 * (static_cast<double>(halfLog) + 1) + 8 +
                 4 /* expl */ + 1 /* Stirling remainder */;
    return std::exp(arg);
}

// Tables of the window's loop, read either whole or, for long double, as two
// doubles hi + lo: on x86 an 80-bit load costs several times two 64-bit loads
// and an add, and where hi + lo restores the long double exactly (checked
// for every entry) the loop multiplies the very same numbers.
template <class Real>
struct WholeTable {
    const Real* at;
    Real operator()(long i) const { return at[i]; }
};
struct SplitTable {
    const double* hi;
    const double* lo;
    long double operator()(long i) const { return static_cast<long double>(hi[i]) + lo[i]; }
};

// Splits v[from .. end) into hi + lo; false if some entry is not restored exactly.
template <class Real>
bool splitExactly(const Real* v, std::size_t from, std::size_t end, std::vector<double>& hi, std::vector<double>& lo) {
    if (hi.size() < end) {
        hi.resize(end);
        lo.resize(end);
    }
    for (std::size_t i = from; i < end; ++i) {
        const double h = static_cast<double>(v[i]);
        const double l = static_cast<double>(v[i] - static_cast<Real>(h));
        if (!(static_cast<Real>(h) + static_cast<Real>(l) == v[i])) return false;
        hi[i] = h;
        lo[i] = l;
    }
    return true;
}

// The window's sum sum_n p(n; x) A_k(n) over [first, last], from the point
// `centre` both ways at once: p(n+1) = p(n) x / (n+1) up, p(n-1) = p(n) n / x
// down, two independent chains of products. law(n - k) = A_k(n) / pi_k.
template <class Real, class Law, class Reciprocal>
Real windowSum(Real start, Real x, long centre, long first, long last, int k, Law law, Reciprocal reciprocal) {
    const Real invX = 1 / x;
    Real up = start, down = start, sumUp = 0, sumDown = 0;
    long nUp = centre, nDown = centre;
    Real nDownReal = static_cast<Real>(centre);  // nDown, exact
    for (; nUp <= last && nDown > first; ++nUp) {
        sumUp = sumUp + up * law(nUp - k);
        up = up * (x * reciprocal(nUp + 1));
        down = down * (nDownReal * invX);
        --nDown;
        nDownReal = nDownReal - 1;
        sumDown = sumDown + down * law(nDown - k);
    }
    for (; nUp <= last; ++nUp) {
        sumUp = sumUp + up * law(nUp - k);
        up = up * (x * reciprocal(nUp + 1));
    }
    while (nDown > first) {
        down = down * (nDownReal * invX);
        --nDown;
        nDownReal = nDownReal - 1;
        sumDown = sumDown + down * law(nDown - k);
    }
    return sumDown + sumUp;
}

// The window's sum from its point nearest the mode x, with what its
// rounding count needs (exact_waiting.md, section 4): the first weight's
// error, the window's span and its largest distance from x.
template <class Real>
struct WindowSum {
    Real value = 0;
    double startError = 0;
    double span = 0;
    double deviation = 0;
};

template <class Real, class Law, class Reciprocal>
WindowSum<Real> sumAroundMode(Real x, double xd, long first, long last, int k, Law law, Reciprocal reciprocal,
                              const std::vector<Real>& reciprocalTable, std::vector<Real>& halfLogs) {
    WindowSum<Real> out;
    const long centre = std::min(std::max(static_cast<long>(std::floor(xd)), first), last);
    const Real start = poissonStart<Real>(centre, x, reciprocalTable, halfLogs, out.startError);
    out.value = windowSum<Real>(start, x, centre, first, last, k, law, reciprocal);
    out.span = static_cast<double>(last - first);
    out.deviation = std::max(std::fabs(static_cast<double>(first) - xd), std::fabs(static_cast<double>(last) - xd));
    return out;
}

// What every thread shares: the row constants, computed once per call.
template <class Real>
struct Rows {
    int r = 0;
    Real sigma = 0;                 // s mu
    std::vector<Real> lambda;       // Lambda_k = s mu + C_k, k = 0 .. r
    std::vector<Real> piMantissa;   // pi_k = piMantissa[k] 2^piExponent[k], [0.5, 1)
    std::vector<int> piExponent;
    std::vector<Real> rho;          // Lambda_k / Lambda_{k+1}, k = 1 .. r - 1
    std::vector<Real> logRho;       // log1p(-(C_{k+1} - C_k) / Lambda_{k+1})
    std::vector<Real> loop;         // C_k / Lambda_{k+1}: self-loop chance of row k+1's last step
    std::vector<double> powerError; // sum_{k' < k} (4 kappa + 5) |logRho_k'|
    std::vector<char> used;         // row k's weight is kept
    double droppedWeight = 0;
    std::vector<Real> reciprocal;   // 1 / n, n = 1 .. size - 1
    std::vector<double> reciprocalHi, reciprocalLo;  // reciprocal as hi + lo, if split
    bool reciprocalSplit = false;
    bool tooLarge = false;          // a window beyond kMostEvents: not evaluated
    double tailLog = 0;             // log(1 / epsilon) of each Poisson tail
    double epsilon = 0;
    long anchorSpacing = kAnchorSpacingLeast;  // B
};

// The Poisson window of one row at one moment.
struct Window {
    long first = 0;  // L: P(X < L) <= epsilon
    long last = -1;  // R: P(X > R) <= epsilon
};

inline Window poissonWindow(double x, double tailLog) {
    Window w;
    // Lower tail: P(X <= x - d) <= exp(-d^2 / (2x)); upper tail (Bernstein):
    // P(X >= x + d) <= exp(-d^2 / (2 (x + d / 3))). One more point each way
    // covers the rounding of x and of these lines.
    const double dl = std::sqrt(2 * tailLog * x);
    const double du = tailLog / 3 + std::sqrt(tailLog * tailLog / 9 + 2 * tailLog * x);
    const double lo = std::floor(x - dl - 1);
    w.first = lo > 0 ? static_cast<long>(lo) : 0;
    w.last = static_cast<long>(std::ceil(x + du + 1));
    return w;
}

// Row k surely ends its k steps before t (within epsilon): every step rate is
// at least s mu, so the row's time is at most Erlang(k, s mu) in distribution
// and P(T_k > t) <= P(Poisson(s mu t) <= k - 1) <= epsilon.
inline bool rowComplete(int k, double sigmaT, double tailLog) {
    if (sigmaT > 1e300) return true;  // k <= r < 2^31 steps, surely within this
    const double lowSigmaT = sigmaT * (1 - 1e-12);
    return static_cast<double>(k - 1) <= lowSigmaT - std::sqrt(2 * tailLog * lowSigmaT) - 1;
}

// The row constants every moment shares: the tails' share, the anchor
// spacing B, s mu and Lambda_k.
template <class Real>
void setRowConstants(const ExactWaitingModel& model, double tolerance, Rows<Real>& rows) {
    const int r = model.waitingPlaces;
    rows.r = r;
    rows.epsilon = tolerance * kTailShare;
    rows.tailLog = std::log(1 / rows.epsilon);
    const double widest = kAnchorShare * tolerance / (6.0 * std::max(1, r) * unitRoundoff<Real>());
    while (rows.anchorSpacing < kAnchorSpacingMost && 2.0 * static_cast<double>(rows.anchorSpacing) <= widest)
        rows.anchorSpacing *= 2;
    const std::vector<double>& C = model.cumulativeAbandonRate;
    rows.sigma = static_cast<Real>(model.servers) * static_cast<Real>(model.serviceRate);
    rows.lambda.resize(static_cast<std::size_t>(r) + 1);
    for (int k = 0; k <= r; ++k) rows.lambda[k] = rows.sigma + static_cast<Real>(C[k]);
}

// Rows left out: the smallest weights while their sum stays within the share.
template <class Real>
void leaveOutLightestRows(const ExactWaitingModel& model, double tolerance, Rows<Real>& rows) {
    const int r = rows.r;
    rows.used.assign(static_cast<std::size_t>(r) + 1, 1);
    std::vector<int> order(static_cast<std::size_t>(r));
    std::iota(order.begin(), order.end(), 1);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return model.positionWeight[a] < model.positionWeight[b]; });
    double dropped = 0;
    for (int k : order) {
        const double next = dropped + model.positionWeight[k];
        if (next > tolerance * kTailShare) break;
        dropped = next;
        rows.used[k] = 0;
    }
    rows.droppedWeight = dropped;
}

// The last row any moment needs (kLast) and the largest window end
// (maxLast); false, with rows.tooLarge set, for a window beyond kMostEvents.
template <class Real>
bool findReach(const std::vector<double>& moments, Rows<Real>& rows, int& kLast, long& maxLast) {
    kLast = 0;
    maxLast = 0;
    const double sigmaD = static_cast<double>(rows.sigma);
    for (int k = 1; k <= rows.r; ++k) {
        if (!rows.used[k]) continue;
        const double lam = static_cast<double>(rows.lambda[k]);
        for (double t : moments) {
            if (!(t > 0) || rowComplete(k, sigmaD * t, rows.tailLog)) continue;
            if (!(lam * t < static_cast<double>(kMostEvents))) {
                rows.tooLarge = true;
                return false;
            }
            const Window w = poissonWindow(lam * t, rows.tailLog);
            if (w.last < k) continue;
            kLast = k;
            maxLast = std::max(maxLast, w.last);
        }
    }
    if (maxLast > kMostEvents) {
        rows.tooLarge = true;
        return false;
    }
    return true;
}

// The table of 1 / n up to the largest window end, split into hi + lo where
// that pays and restores every entry.
template <class Real>
void buildReciprocals(long maxLast, Rows<Real>& rows) {
    rows.reciprocal.resize(static_cast<std::size_t>(std::max<long>(maxLast, kDirectPoissonLimit)) + 2);
    for (std::size_t n = 1; n < rows.reciprocal.size(); ++n) rows.reciprocal[n] = 1 / static_cast<Real>(n);
    if (std::numeric_limits<Real>::digits > 53 && rows.reciprocal.size() >= kLeastSplit &&
        rows.reciprocal.size() <= kMostSplit)
        rows.reciprocalSplit = splitExactly(rows.reciprocal.data(), 0, rows.reciprocal.size(), rows.reciprocalHi,
                                            rows.reciprocalLo);
}

// pi_k = prod_j (s mu + (C_k - C_{j-1})) / Lambda_k for one row k (the chance
// that its first k events all end steps, section 2), as mantissa and
// exponent: it may lie below the smallest number.
template <class Real>
[[gnu::always_inline]] inline void straightThroughChance(const std::vector<double>& C, int k, Rows<Real>& rows) {
    const Real inv = 1 / rows.lambda[k];
    const Real ck = static_cast<Real>(C[k]);
    Real p[4] = {1, 1, 1, 1};
    int e = 0;
    int j = 1;
    for (; j + 3 <= k; j += 4) {
        for (int i = 0; i < 4; ++i)
            p[i] = p[i] * ((rows.sigma + (ck - static_cast<Real>(C[j - 1 + i]))) * inv);
        if ((j & 31) == 29) {  // every 8 rounds: each factor is >= s mu / Lambda_k
            for (int i = 0; i < 4; ++i) {
                int ei = 0;
                p[i] = std::frexp(p[i], &ei);
                e += ei;
            }
        }
    }
    for (; j <= k; ++j) p[0] = p[0] * ((rows.sigma + (ck - static_cast<Real>(C[j - 1]))) * inv);
    Real prod = 1;
    if (k <= 32 && rows.sigma * inv >= Real(1e-9)) {
        // Each part holds at most 8 factors >= 1e-9: the product stays normal.
        prod = (p[0] * p[1]) * (p[2] * p[3]);
    } else {
        for (int i = 0; i < 4; ++i) {
            int ei = 0;
            prod = prod * std::frexp(p[i], &ei);
            e += ei;
        }
    }
    int ei = 0;
    prod = std::frexp(prod, &ei);
    rows.piMantissa[k] = prod;
    rows.piExponent[k] = e + ei;
}

// From row k to row k + 1 (k < kLast): rho_k, its logarithm with the
// power's rounding it brings, and the self-loop chance of the last step.
template <class Real>
void buildStepRatios(const std::vector<double>& C, int kLast, Rows<Real>& rows) {
    const int r = rows.r;
    rows.rho.assign(static_cast<std::size_t>(r) + 1, Real(1));
    rows.logRho.assign(static_cast<std::size_t>(r) + 1, Real(0));
    rows.loop.assign(static_cast<std::size_t>(r) + 1, Real(0));
    rows.powerError.assign(static_cast<std::size_t>(r) + 2, 0.0);
    for (int k = 1; k < kLast; ++k) {
        const Real next = rows.lambda[k + 1];
        rows.rho[k] = rows.lambda[k] / next;
        const Real y = (static_cast<Real>(C[k + 1]) - static_cast<Real>(C[k])) / next;
        rows.logRho[k] = std::log1p(-y);
        rows.loop[k] = static_cast<Real>(C[k]) / next;
        const double yd = static_cast<double>(y);
        double cond = 1;  // condition of log1p(-y), y in [0, 1)
        if (yd > 0) cond = std::max(1.0, yd / ((1 - yd) * -std::log1p(-yd)));
        rows.powerError[k + 1] =
            rows.powerError[k] + (4 * cond + 5) * std::fabs(static_cast<double>(rows.logRho[k]));
    }
}

template <class Real>
Rows<Real> buildRows(const ExactWaitingModel& model, const std::vector<double>& moments, double tolerance) {
    Rows<Real> rows;
    setRowConstants(model, tolerance, rows);
    leaveOutLightestRows(model, tolerance, rows);
    int kLast = 0;
    long maxLast = 0;
    if (!findReach(moments, rows, kLast, maxLast)) return rows;
    buildReciprocals(maxLast, rows);
    // pi_k for rows 1 .. kLast.
    rows.piMantissa.assign(static_cast<std::size_t>(rows.r) + 2, Real(0.5));
    rows.piExponent.assign(static_cast<std::size_t>(rows.r) + 2, 1);
    for (int k = 1; k <= kLast; ++k) straightThroughChance(model.cumulativeAbandonRate, k, rows);
    buildStepRatios(model.cumulativeAbandonRate, kLast, rows);
    return rows;
}

// Per moment: the sum over rows, and the two parts of its bound.
template <class Real>
struct MomentTotal {
    Real sum;
    double truncation;
    double rounding;
};

// The sweep length each row needs: its own windows, then the largest of the
// rows after it (they are built from it); what row k's own windows read of
// its law, m = ownLow[k] .. ownTop[k]; and the last row any moment needs.
struct SweepLengths {
    std::vector<long> need;
    std::vector<long> ownLow;
    std::vector<long> ownTop;
    int kLast = 0;
};

template <class Real>
SweepLengths sweepLengths(const Rows<Real>& rows, const std::vector<double>& moments,
                          const std::vector<std::size_t>& which) {
    const int r = rows.r;
    const double sigmaD = static_cast<double>(rows.sigma);
    SweepLengths out;
    std::vector<long>& need = out.need;
    std::vector<long>& ownLow = out.ownLow;
    need.assign(static_cast<std::size_t>(r) + 2, -1);
    ownLow.assign(static_cast<std::size_t>(r) + 2, std::numeric_limits<long>::max());
    for (int k = 1; k <= r; ++k) {
        if (!rows.used[k]) continue;
        const double lam = static_cast<double>(rows.lambda[k]);
        for (std::size_t i = 0; i < which.size(); ++i) {
            const double t = moments[which[i]];
            if (!(t > 0) || rowComplete(k, sigmaD * t, rows.tailLog)) continue;
            const Window w = poissonWindow(lam * t, rows.tailLog);
            if (w.last < k) continue;
            need[k] = std::max(need[k], w.last - k);
            ownLow[k] = std::min(ownLow[k], std::max<long>(w.first, k) - k);
            out.kLast = k;
        }
    }
    out.ownTop = need;
    for (int k = r - 1; k >= 1; --k) need[k] = std::max(need[k], need[k + 1]);
    return out;
}

// The law of the row being evaluated, G_m = g_m 2^E for m = 0 .. support
// (zero beyond), and its prefix sums over what the row's windows read.
template <class Real>
struct RowLaw {
    std::vector<Real> g;
    std::vector<Real> prefix;
    std::vector<double> prefixHi, prefixLo;
    bool prefixSplit = false;
    long support = 0;  // last m with a G value that may be non-zero
};

// Row k from row k - 1: G_m[k] = 2^(E_k - E_{k-1}) rho^m G_m[k-1] + c G_{m-1}[k].
template <class Real>
[[gnu::always_inline]] inline void advanceRowLaw(const Rows<Real>& rows, int k, long need, RowLaw<Real>& law) {
    std::vector<Real>& g = law.g;
    const int p = k - 1;
    const Real c = rows.loop[p];
    const int shift = rows.piExponent[k] - rows.piExponent[p];
    if (c != 0) law.support = need;
    law.support = std::min(law.support, need);
    const long support = law.support;
    const Real rho = rows.rho[p];
    const Real logRho = rows.logRho[p];
    const long spacing = rows.anchorSpacing;
    Real power = 0;
    Real previous = 0;
    for (long m = 0; m <= support; ++m) {
        if (m == 0)
            power = std::ldexp(Real(1), shift);
        else if (m % spacing == 0)
            power = std::ldexp(std::exp(static_cast<Real>(m) * logRho), shift);
        else
            power = power * rho;
        Real v = power * g[static_cast<std::size_t>(m)];
        if (m > 0) v = v + c * previous;
        g[static_cast<std::size_t>(m)] = v;
        previous = v;
    }
}

// The prefix sums A_k(k + m) / pi_k for m up to top, split into hi + lo over
// low .. top where the reciprocals are and several moments read them.
template <class Real>
void buildPrefix(const Rows<Real>& rows, long low, long top, std::size_t count, RowLaw<Real>& law) {
    // Only what this row's windows read; beyond the support the
    // law stays at its total (no bounds test in the window).
    const long support = law.support;
    Real acc = 0;
    for (long m = 0; m <= std::min(support, top); ++m) {
        acc = acc + law.g[static_cast<std::size_t>(m)];
        law.prefix[static_cast<std::size_t>(m)] = acc;
    }
    for (long m = support + 1; m <= top; ++m) law.prefix[static_cast<std::size_t>(m)] = acc;
    law.prefixSplit = rows.reciprocalSplit && count > 1 &&
                      splitExactly(law.prefix.data(), static_cast<std::size_t>(low), static_cast<std::size_t>(top) + 1,
                                   law.prefixHi, law.prefixLo);
}

// Row k's window sum at one moment, its tables read whole or split.
template <class Real>
WindowSum<Real> rowWindowSum(const Rows<Real>& rows, const RowLaw<Real>& law, Real x, double xd, long first,
                             long last, int k, std::vector<Real>& halfLogs) {
    const WholeTable<Real> wholeReciprocal{rows.reciprocal.data()};
    WindowSum<Real> ws;
    if constexpr (std::numeric_limits<Real>::digits > 53) {
        if (law.prefixSplit)
            ws = sumAroundMode<Real>(x, xd, first, last, k, SplitTable{law.prefixHi.data(), law.prefixLo.data()},
                                     SplitTable{rows.reciprocalHi.data(), rows.reciprocalLo.data()}, rows.reciprocal,
                                     halfLogs);
        else
            ws = sumAroundMode<Real>(x, xd, first, last, k, WholeTable<Real>{law.prefix.data()}, wholeReciprocal,
                                     rows.reciprocal, halfLogs);
    } else {
        ws = sumAroundMode<Real>(x, xd, first, last, k, WholeTable<Real>{law.prefix.data()}, wholeReciprocal,
                                 rows.reciprocal, halfLogs);
    }
    return ws;
}

// The rounding of row k's contribution at one moment in units of u
// (exact_waiting.md, section 4); mkt = R - k.
template <class Real>
double rowRoundingUnits(const Rows<Real>& rows, int k, double mkt, const WindowSum<Real>& ws) {
    const int r = rows.r;
    const double startError = ws.startError;
    const double span = ws.span;
    const double deviation = ws.deviation;
    const double theta = 8.0 * k                                   // pi_k
                         + 2.0 * (k + mkt)                         // the sweep's roundings
                         + mkt * rows.powerError[k] + (k - 1.0) * (6.0 * static_cast<double>(rows.anchorSpacing) + 4)
                         + 3.0 * mkt                               // self-loop chances
                         + mkt + 1                                 // prefix sums
                         + startError + 3 * span + 3 * deviation   // Poisson weights
                         + span + 2                                // the window's sum
                         + 4 + r;                                  // times pi, w; sum over rows
    return theta;
}

// Row k's share of every moment's sum and bound.
template <class Real>
void addRow(const ExactWaitingModel& model, const Rows<Real>& rows, const SweepLengths& lengths, int k,
            const std::vector<double>& moments, const std::vector<std::size_t>& which, RowLaw<Real>& law,
            std::vector<Real>& halfLogs, std::vector<MomentTotal<Real>>& totals) {
    const int r = rows.r;
    const double u = unitRoundoff<Real>();
    const double eps = rows.epsilon;
    const double sigmaD = static_cast<double>(rows.sigma);
    const std::size_t count = which.size();
    const double w = model.positionWeight[k];
    const double lam = static_cast<double>(rows.lambda[k]);
    bool prefixReady = false;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = moments[which[i]];
        if (!(t > 0)) continue;
        if (rowComplete(k, sigmaD * t, rows.tailLog)) {
            totals[i].sum = totals[i].sum + static_cast<Real>(w);
            totals[i].truncation += w * eps;
            totals[i].rounding += w * u * (r + 2);
            continue;
        }
        const Real x = rows.lambda[k] * static_cast<Real>(t);
        const Window win = poissonWindow(lam * t, rows.tailLog);
        if (win.last < k) {
            totals[i].truncation += w * eps;
            continue;
        }
        if (!prefixReady) {
            buildPrefix(rows, lengths.ownLow[k], lengths.ownTop[k], count, law);
            prefixReady = true;
        }
        const long first = std::max<long>(win.first, k);
        const WindowSum<Real> ws = rowWindowSum(rows, law, x, lam * t, first, win.last, k, halfLogs);
        const Real contribution = static_cast<Real>(w) * (rows.piMantissa[k] * ws.value);
        totals[i].sum = totals[i].sum + contribution;
        totals[i].truncation += w * eps * (win.first > k ? 2 : 1);
        const double mkt = static_cast<double>(win.last - k);
        const double theta = rowRoundingUnits(rows, k, mkt, ws);
        totals[i].rounding += static_cast<double>(contribution) * theta * u;
    }
}

// Joint values and bounds at the moments `which` (indices into moments).
template <class Real>
void evaluateSubset(const ExactWaitingModel& model, const Rows<Real>& rows, const std::vector<double>& moments,
                    const std::vector<std::size_t>& which, std::vector<double>& joint,
                    std::vector<double>& bound) {
    const int r = rows.r;
    const std::size_t count = which.size();
    std::vector<MomentTotal<Real>> totals(count, MomentTotal<Real>{Real(0), rows.droppedWeight, 0.0});
    const SweepLengths lengths = sweepLengths(rows, moments, which);

    RowLaw<Real> law;
    law.g.assign(static_cast<std::size_t>(std::max(0L, lengths.need[1])) + 1, Real(0));
    law.prefix.assign(law.g.size(), Real(0));
    std::vector<Real> halfLogs(rows.reciprocal.size(), Real(0));
    // Row 1: g_0 = 1, kept as G_0 = g_0 2^E_1 (pi_1 = 1 up to rounding).
    if (!law.g.empty()) law.g[0] = std::ldexp(Real(1), rows.piExponent[1]);
    for (int k = 1; k <= r; ++k) {
        if (k > 1 && k <= lengths.kLast) advanceRowLaw(rows, k, lengths.need[k], law);
        if (rows.used[k] == 0) continue;
        addRow(model, rows, lengths, k, moments, which, law, halfLogs, totals);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = which[i];
        if (!(moments[at] > 0)) {
            joint[at] = 0;
            bound[at] = 0;
            continue;
        }
        const double value = static_cast<double>(totals[i].sum);
        joint[at] = value;
        bound[at] = (totals[i].truncation + totals[i].rounding) * kBoundMargin +
                    std::fabs(value) * std::numeric_limits<double>::epsilon() / 2;
    }
}

// deathChainDeviation for the rows 1 .. r only (the chain leaves the rows
// above out when their weight is negligible).
double deviationUpTo(const ExactWaitingModel& model, int r) {
    const std::vector<double>& C = model.cumulativeAbandonRate;
    const long double slope = r >= 1 ? static_cast<long double>(C[1]) : 0.0L;
    const bool wide = std::numeric_limits<long double>::digits >= 64;
    const double uLong = unitRoundoff<long double>();
    // Covers the rounding of |C_i - i C_1| to double and of the products below.
    constexpr double kUp = 1 + 0x1p-48;
    double below = 0;  // sum_{i < k} e_i
    double total = 0;
    for (int k = 1; k <= r; ++k) {
        const long double line = static_cast<long double>(k) * slope;
        const long double c = C[k];
        const long double diff = c - line;
        // k < 2^11 and a 53-bit C_1: the product has at most 64 bits; then
        // the difference is exact too where c and line are within a factor 2.
        const bool exact = wide && k < 2048 && (line == 0 || (c <= 2 * line && line <= 2 * c));
        double e = std::fabs(static_cast<double>(diff));
        if (!exact) e += 2 * uLong * (std::fabs(static_cast<double>(diff)) + static_cast<double>(line));
        e *= kUp;
        // sum_j |(C_k - C_{j-1}) - C_{k-j+1}| <= k e_k + sum_{i<k} e_i + sum_{i<=k} e_i.
        total += model.positionWeight[k] * (static_cast<double>(k) * e + below + (below + e)) * kUp;
        below += e;
    }
    const double sigma = static_cast<double>(model.servers) * model.serviceRate;
    // 2.718281828 < e; the sums' rounding is within kBoundMargin.
    return total / (2.718281828 * sigma) * kBoundMargin * (1 + 0x1p-50);
}

// The law of the events' count read by the death chain's windows: absorbed
// mass a_n, constant from `end` on (the chain has settled there).
template <class Real>
struct SettledTable {
    const Real* at;
    long end;
    Real operator()(long i) const { return at[std::min(i, end)]; }
};

// One event of the death chain for states 1 .. states: m_i <- m_i (1 - d_i) +
// m_{i+1} d_{i+1}, the same operations whether the chances are read whole
// or as two doubles (SplitTable); m_{i+1} is carried, read once.
template <class Real, class Table>
inline void deathChainEvent(Real* mass, int states, Table stay, Table down) {
    Real next = mass[1];
    for (int i = 1; i <= states; ++i) {
        const Real here = next;
        next = mass[i + 1];
        mass[i] = here * stay(i) + next * down(i + 1);
    }
}

// Each moment's Poisson window for the chain; the moments surely complete
// need none, and those beyond kMostEvents events go to `rest`.
struct ChainWindows {
    std::vector<Window> windows;
    std::vector<char> complete;
    std::vector<std::size_t> windowed;
    long reach = 0;  // the last event any window reads
};

inline ChainWindows chainWindows(const std::vector<double>& moments, int r, double sigmaD, double lam, double tailLog,
                                 std::vector<std::size_t>& rest) {
    const std::size_t count = moments.size();
    ChainWindows out;
    out.windows.resize(count);
    out.complete.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = moments[i];
        if (!(t > 0)) continue;
        if (rowComplete(r, sigmaD * t, tailLog)) {
            out.complete[i] = 1;
            continue;
        }
        if (!(lam * t < static_cast<double>(kMostEvents))) {
            rest.push_back(i);
            continue;
        }
        out.windows[i] = poissonWindow(lam * t, tailLog);
        if (out.windows[i].last > kMostEvents) {
            // Left to the rows, with an empty window here: the chain's
            // tables end at kMostEvents, and its value is not used.
            out.windows[i] = Window();
            rest.push_back(i);
            continue;
        }
        out.windowed.push_back(i);
        out.reach = std::max(out.reach, out.windows[i].last);
    }
    return out;
}

// The chain: state i = positions still ahead, 0 = served. An event moves
// i to i - 1 with chance (s mu + C_i) / Lambda_r, else it stays. Its
// chances, read whole or as two doubles, and the mass in each state.
template <class Real>
struct DeathChain {
    std::vector<Real> down, stay, mass;
    std::vector<double> stayHi, stayLo, downHi, downLo;
    bool split = false;
};

template <class Real>
DeathChain<Real> startDeathChain(const ExactWaitingModel& model, int r, Real sigma, Real top) {
    const std::vector<double>& C = model.cumulativeAbandonRate;
    DeathChain<Real> chain;
    chain.down.assign(static_cast<std::size_t>(r) + 2, Real(0));
    chain.stay.assign(static_cast<std::size_t>(r) + 1, Real(0));
    chain.mass.assign(static_cast<std::size_t>(r) + 2, Real(0));
    for (int i = 1; i <= r; ++i) {
        chain.down[i] = (sigma + static_cast<Real>(C[i])) / top;
        chain.stay[i] = (static_cast<Real>(C[r]) - static_cast<Real>(C[i])) / top;
        chain.mass[i] = static_cast<Real>(model.positionWeight[i]);
    }
    chain.split = std::numeric_limits<Real>::digits > 53 &&
                  splitExactly(chain.stay.data(), 0, chain.stay.size(), chain.stayHi, chain.stayLo) &&
                  splitExactly(chain.down.data(), 0, chain.down.size(), chain.downHi, chain.downLo);
    return chain;
}

// One event for states 1 .. live, through the split tables where they exist.
template <class Real>
[[gnu::always_inline]] inline void chainStep(DeathChain<Real>& chain, int live) {
    if constexpr (std::numeric_limits<Real>::digits > 53) {
        if (chain.split) {
            deathChainEvent<Real>(chain.mass.data(), live, SplitTable{chain.stayHi.data(), chain.stayLo.data()},
                                  SplitTable{chain.downHi.data(), chain.downLo.data()});
            return;
        }
    }
    deathChainEvent<Real>(chain.mass.data(), live, WholeTable<Real>{chain.stay.data()},
                          WholeTable<Real>{chain.down.data()});
}

// The absorbed mass a_n, n = 0 .. reach (held from `end` on once settled).
template <class Real>
struct ChainRun {
    std::vector<Real> absorbed;  // a_n
    bool settled = false;
    long end = 0;     // once settled: a_n <= a_end + left for every n >= end
    double left = 0;
};

// The mass still in the chain after n + 1 events with its rounding
// (at most 7 u per event for each mass, section 7, the sum r u more).
template <class Real>
double boundedMassLeft(const DeathChain<Real>& chain, int r, long n, double u) {
    Real still = 0;
    for (int i = 1; i <= r; ++i) still = still + chain.mass[i];
    return static_cast<double>(still) * (1 + (7.0 * static_cast<double>(n + 1) + r + 8) * u);
}

template <class Real>
ChainRun<Real> runDeathChain(DeathChain<Real>& chain, int r, long reach, double eps, double u) {
    ChainRun<Real> run;
    run.absorbed.assign(static_cast<std::size_t>(reach) + 1, Real(0));
    run.end = reach;
    long stop = reach;  // the last a_n formed
    Real a = 0;
    for (long n = 0; n < stop; ++n) {
        a = a + chain.mass[1] * chain.down[1];
        // Mass above reach - n - 1 cannot be absorbed by event `reach`.
        const int live = static_cast<int>(std::min<long>(r, reach - n - 1));
        chainStep(chain, live);
        run.absorbed[static_cast<std::size_t>(n) + 1] = a;
        // Tested only where every state is current (n + 1 + r <= reach); a
        // moment whose window ends before end + r does not use it, so that
        // its bits do not depend on the other moments (section 7).
        if (!run.settled && (n + 1) % kSettleCheck == 0 && n + 1 + r <= reach) {
            const double bounded = boundedMassLeft(chain, r, n, u);
            if (bounded <= eps * kSettledShare) {
                run.settled = true;
                run.end = n + 1;
                run.left = bounded;
                stop = std::min<long>(reach, run.end + r - 1);
            }
        }
    }
    return run;
}

// What the death chain gives at one moment: the value and the two parts of
// its bound (section 7), from the absorbed mass; false for a moment left
// for the rows.
struct ChainMoment {
    double value = 0;
    double truncation = 0;
    double rounding = 0;
};

template <class Real>
bool chainMoment(const ChainRun<Real>& run, const Window& win, bool complete, double t, Real top, double lam, int r,
                 double weight, double eps, double u, const std::vector<Real>& reciprocal,
                 std::vector<Real>& halfLogs, ChainMoment& out) {
    const bool usesSettling = run.settled && win.last >= run.end + r;
    const long end = run.end;
    if (complete) {
        // Every row's time is at most Erlang(r, s mu): J >= W (1 - eps).
        out.value = weight;
        out.truncation += weight * eps;
        out.rounding = weight * u * (r + 2);
    } else if (win.last < 0) {
        return false;  // left for the rows
    } else if (usesSettling && win.first > end) {
        // Settled before the window: J - a_end lies in [-a_end eps, left]
        // (the events before the window weigh <= eps; from `end` on a_n
        // exceeds a_end by at most what is left).
        out.value = static_cast<double>(run.absorbed[static_cast<std::size_t>(end)]);
        out.truncation += std::max(weight * eps, run.left);
        out.rounding = out.value * (8.0 * static_cast<double>(end) + 8) * u;  // a_n carries (8 n + 8) u
    } else {
        const long last = usesSettling ? end : win.last;  // a_n read up to here, then held
        const Real x = top * static_cast<Real>(t);
        const WindowSum<Real> ws =
            sumAroundMode<Real>(x, lam * t, win.first, win.last, 0, SettledTable<Real>{run.absorbed.data(), last},
                                WholeTable<Real>{reciprocal.data()}, reciprocal, halfLogs);
        out.value = static_cast<double>(ws.value);
        // Before the window a_n <= a_{first-1}: those events weigh at most
        // a_{first-1} eps; after it at most W eps.
        double before = 0;
        if (win.first > 0)
            before = static_cast<double>(run.absorbed[static_cast<std::size_t>(std::min(win.first - 1, last))]) *
                     (1 + kAbsorbedRelativeError);
        out.truncation += (weight + before) * eps + (usesSettling ? run.left : 0);
        const double theta = 8.0 * static_cast<double>(std::min(win.last, last)) + 8  // a_n
                             + ws.startError + 3 * ws.span + 3 * ws.deviation     // Poisson weights
                             + ws.span + 2;                                        // the window's sum
        out.rounding = static_cast<double>(ws.value) * theta * u;
    }
    return true;
}

// The death-chain path (exact_waiting.md, section 7) for every moment it can
// take; the indices of the others (a window beyond kMostEvents events) are
// left in `rest` for the rows. States 1 .. states run; leftOut bounds what the
// chain's use and the states above take from every value (the caller has
// checked it).
template <class Real>
void evaluateDeathChain(const ExactWaitingModel& model, int states, const std::vector<double>& moments,
                        double tolerance, double leftOut, std::vector<double>& joint, std::vector<double>& bound,
                        std::vector<std::size_t>& rest) {
    const int r = states;  // the states above have a negligible weight, counted in leftOut
    const double u = unitRoundoff<Real>();
    const double eps = tolerance * kTailShare;
    const double tailLog = std::log(1 / eps);
    const std::vector<double>& C = model.cumulativeAbandonRate;
    const Real sigma = static_cast<Real>(model.servers) * static_cast<Real>(model.serviceRate);
    const Real top = sigma + static_cast<Real>(C[r]);  // Lambda_r, the uniformization rate
    const double lam = static_cast<double>(top);
    const double sigmaD = static_cast<double>(sigma);
    double weight = 0;  // W = sum_k w_k >= every a_n
    for (int k = 1; k <= r; ++k) weight += model.positionWeight[k];

    const ChainWindows cw = chainWindows(moments, r, sigmaD, lam, tailLog, rest);
    DeathChain<Real> chain = startDeathChain<Real>(model, r, sigma, top);
    const ChainRun<Real> run = runDeathChain(chain, r, cw.reach, eps, u);

    long lastRead = kDirectPoissonLimit;  // the reciprocals the sums read
    for (std::size_t i : cw.windowed) {
        const Window& w = cw.windows[i];
        const bool usesSettling = run.settled && w.last >= run.end + r;
        if (!usesSettling || w.first <= run.end) lastRead = std::max(lastRead, w.last);
    }
    const std::size_t tableSize = static_cast<std::size_t>(lastRead) + 2;
    std::vector<Real> reciprocal(tableSize);
    for (std::size_t n = 1; n < tableSize; ++n) reciprocal[n] = 1 / static_cast<Real>(n);
    std::vector<Real> halfLogs(tableSize);

    for (std::size_t i = 0; i < moments.size(); ++i) {
        const double t = moments[i];
        if (!(t > 0)) {
            joint[i] = 0;
            bound[i] = 0;
            continue;
        }
        ChainMoment m;
        m.truncation = leftOut;
        if (!chainMoment(run, cw.windows[i], cw.complete[i] != 0, t, top, lam, r, weight, eps, u, reciprocal, halfLogs,
                         m))
            continue;
        joint[i] = m.value;
        bound[i] = (m.truncation + m.rounding) * kBoundMargin + std::fabs(m.value) * std::numeric_limits<double>::epsilon() / 2;
    }
}

template <class Real>
bool evaluateRows(const ExactWaitingModel& model, const std::vector<double>& moments, const ExactWaitingOptions& options,
                  std::vector<double>& joint, std::vector<double>& bound) {
    const Rows<Real> rows = buildRows<Real>(model, moments, options.tolerance);
    if (rows.tooLarge) return false;
    unsigned threads = 1;
    if (options.engine == TransformEngine::Fast) {
        const double work = static_cast<double>(moments.size()) * static_cast<double>(model.waitingPlaces);
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        threads = static_cast<unsigned>(std::min<double>(cores, std::max(1.0, work / kWorkPerThread)));
        threads = std::min<unsigned>(threads, static_cast<unsigned>(std::max<std::size_t>(1, moments.size())));
    }
    std::vector<std::vector<std::size_t>> parts(threads);
    for (std::size_t i = 0; i < moments.size(); ++i) parts[i % threads].push_back(i);
    // Each value depends on its own moment only: any thread may take any part.
    forEachClaimed(threads, parts.size(), 1, [&](std::size_t p, std::size_t) {
        evaluateSubset<Real>(model, rows, moments, parts[p], joint, bound);
    });
    return true;
}

// The death chain where the rows are close enough to one, the rows for the
// rest; false if the rows cannot take a moment (a window too large).
template <class Real>
bool evaluateAll(const ExactWaitingModel& model, const std::vector<double>& moments, const ExactWaitingOptions& options,
                 std::vector<double>& joint, std::vector<double>& bound, ExactMethod& method) {
    method = ExactMethod::Rows;
    // The top states whose weights add up to at most a sixteenth of the
    // tolerance are left out (mass never moves up: the rest is the chain of
    // the states below); F <= 1, so the error is at most their weight.
    int top = model.waitingPlaces;
    double above = 0;
    while (top > 0 && above + model.positionWeight[top] <= options.tolerance * kTailShare / 4)
        above += model.positionWeight[top--];
    if (!options.allowDeathChain || top < 1) return evaluateRows<Real>(model, moments, options, joint, bound);
    const double deviation = deviationUpTo(model, top);
    if (!(deviation <= options.tolerance * kTailShare / 2))
        return evaluateRows<Real>(model, moments, options, joint, bound);
    method = ExactMethod::DeathChain;
    std::vector<std::size_t> rest;
    evaluateDeathChain<Real>(model, top, moments, options.tolerance, deviation + above, joint, bound, rest);
    if (rest.empty()) return true;
    std::vector<double> restMoments, restJoint(rest.size()), restBound(rest.size());
    for (std::size_t i : rest) restMoments.push_back(moments[i]);
    if (!evaluateRows<Real>(model, restMoments, options, restJoint, restBound)) return false;
    for (std::size_t j = 0; j < rest.size(); ++j) {
        joint[rest[j]] = restJoint[j];
        bound[rest[j]] = restBound[j];
    }
    return true;
}

bool withinDomain(const ExactWaitingModel& m) {
    const int r = m.waitingPlaces;
    if (r < 0 || m.servers < 0) return false;
    if (m.cumulativeAbandonRate.size() < static_cast<std::size_t>(r) + 1 ||
        m.positionWeight.size() < static_cast<std::size_t>(r) + 1)
        return false;
    const double sigma = static_cast<double>(m.servers) * m.serviceRate;
    if (!(sigma > 0) || !std::isfinite(sigma)) return false;
    if (!(m.cumulativeAbandonRate[0] == 0)) return false;
    for (int k = 1; k <= r; ++k) {
        const double c = m.cumulativeAbandonRate[k];
        if (!std::isfinite(c) || !(c >= m.cumulativeAbandonRate[k - 1])) return false;
        const double w = m.positionWeight[k];
        if (!std::isfinite(w) || !(w >= 0)) return false;
    }
    return std::isfinite(m.noWaitProb) && std::isfinite(m.servedProb);
}

}  // namespace

double deathChainDeviation(const ExactWaitingModel& model) {
    if (!withinDomain(model)) return std::numeric_limits<double>::infinity();
    return deviationUpTo(model, model.waitingPlaces);
}


ExactWaitingCurves exactWaitingTime(const ExactWaitingModel& model, const std::vector<double>& moments,
                                    const ExactWaitingOptions& options) {
    for (double t : moments)
        if (!(t >= 0) || !std::isfinite(t))
            throw std::invalid_argument("exactWaitingTime: a moment is negative or not finite");
    if (!(options.tolerance > 0) || !(options.tolerance < 1))
        throw std::invalid_argument("exactWaitingTime: the tolerance must lie in (0, 1)");
    ExactWaitingCurves out;
    const std::size_t n = moments.size();
    out.joint.assign(n, 0.0);
    out.jointBound.assign(n, 0.0);
    out.conditional.assign(n, 0.0);
    out.conditionalBound.assign(n, 0.0);
    const bool extended = options.precision == ExactPrecision::Extended && exactExtendedPrecisionAvailable();
    out.precision = extended ? ExactPrecision::Extended : ExactPrecision::Double;
    bool done = false;
    if (withinDomain(model))
        done = extended ? evaluateAll<long double>(model, moments, options, out.joint, out.jointBound, out.method)
                        : evaluateAll<double>(model, moments, options, out.joint, out.jointBound, out.method);
    if (!done) {
        out.applicable = false;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        std::fill(out.joint.begin(), out.joint.end(), nan);
        std::fill(out.conditional.begin(), out.conditional.end(), nan);
        std::fill(out.jointBound.begin(), out.jointBound.end(), inf);
        std::fill(out.conditionalBound.begin(), out.conditionalBound.end(), inf);
        return out;
    }
    const double ud = std::numeric_limits<double>::epsilon() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        const double c = (out.joint[i] + model.noWaitProb) / model.servedProb;
        out.conditional[i] = c;
        // (J + P(W=0)) / P(S): the joint's error divided by P(S), and two roundings.
        out.conditionalBound[i] = out.jointBound[i] / model.servedProb * (1 + 4 * ud) + 2.5 * ud * std::fabs(c);
    }
    return out;
}

}  // namespace queuecalc
