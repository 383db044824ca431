#include "inversion/transform.h"

#include <cmath>
#include <limits>
#include <utility>

namespace queuecalc {

TransformModel makeTransformModel(int servers, int waitingPlaces,
                                  const std::vector<double>& admittedDist,
                                  std::shared_ptr<const QueuePositionTables> shared) {
    TransformModel m;
    makeTransformModelInto(m, servers, waitingPlaces, admittedDist, std::move(shared));
    return m;
}

void makeTransformModelInto(TransformModel& m, int servers, int waitingPlaces,
                            const std::vector<double>& admittedDist,
                            std::shared_ptr<const QueuePositionTables> shared) {
    const QueuePositionTables& tables = *shared;
    m.waitingPlaces = waitingPlaces;
    m.tables = std::move(shared);
    m.positionWeight.assign(static_cast<std::size_t>(waitingPlaces) + 1, 0.0);
    for (int k = 1; k <= waitingPlaces; ++k)
        m.positionWeight[k] = tables.reachServiceProb[k] * admittedDist[servers + k - 1];
    if (waitingPlaces >= kRowsWorthBounding) {
        boundTransformRows(m);
    } else {
        // No bounds: the fast path reads their absence from the sizes.
        m.rowRateLow.clear();
        m.rowRateHigh.clear();
        m.rowRatesFall.clear();
        m.rowWeightBound.clear();
    }
}

// Row k's rates are (C[k] - C[j-1]) + s mu for j = 1 .. k, C the cumulative
// abandonment rates. When C is finite and never falls (every hazard rate
// >= 0, the usual case), C[j-1] rises with j, so the exact difference falls
// and, rounding being monotone, so does each computed rate (no NaN can arise
// from finite C and s mu): every row's rates fall, its largest is rate(k, 1)
// and its smallest rate(k, k). Then the bounds take O(r) time; otherwise each
// row is scanned, O(r^2) (also what the first case would find).
void boundTransformRows(TransformModel& m) {
    const QueuePositionTables& tables = *m.tables;
    const int waitingPlaces = m.waitingPlaces;
    const double notSafe = std::numeric_limits<double>::quiet_NaN();
    m.rowRateLow.assign(m.positionWeight.size(), notSafe);
    m.rowRateHigh.assign(m.positionWeight.size(), notSafe);
    m.rowWeightBound.assign(m.positionWeight.size(), notSafe);
    m.rowRatesFall.assign(m.positionWeight.size(), 0);
    const std::vector<double>& cumulative = tables.cumulativeAbandonRate;
    bool ratesFall = std::isfinite(tables.fullService);
    for (int k = 0; k <= waitingPlaces && ratesFall; ++k)
        ratesFall = std::isfinite(cumulative[k]) && (k == 0 || cumulative[k] >= cumulative[k - 1]);
    std::vector<double> rate(ratesFall ? 0 : static_cast<std::size_t>(waitingPlaces));
    for (int k = 1; k <= waitingPlaces; ++k) {
        m.rowWeightBound[k] = std::fabs(m.positionWeight[k]) * kWeightMargin;
        if (ratesFall) {
            const double largest = tables.rate(k, 1);
            const double smallest = tables.rate(k, k);
            if (smallest >= kSafeRateLow && largest <= kSafeRateHigh) {
                m.rowRateLow[k] = smallest;
                m.rowRateHigh[k] = largest;
                m.rowRatesFall[k] = 1;
            }
            continue;
        }
        tables.rateRow(k, rate.data());
        double smallest = kSafeRateHigh;
        double largest = kSafeRateLow;
        bool safe = true;
        bool falls = true;
        for (int j = 0; j < k; ++j) {
            // Written so that a NaN rate makes the row unsafe too.
            if (!(rate[j] >= kSafeRateLow && rate[j] <= kSafeRateHigh)) safe = false;
            if (j > 0 && !(rate[j] <= rate[j - 1])) falls = false;
            smallest = std::fmin(smallest, rate[j]);
            largest = std::fmax(largest, rate[j]);
        }
        if (safe) {
            m.rowRateLow[k] = smallest;
            m.rowRateHigh[k] = largest;
            m.rowRatesFall[k] = falls ? 1 : 0;
        }
    }
}

// Laplace transform of t -> P(0 < W <= t, S) at z = a + ib:
//   G(z) = F(z) / z,  F(z) = sum_k w_k prod_{j=1..k} c_kj / (z + c_kj),
// w_k the chance to join at position k and be served, c_kj the step rates.
// Every complex operation is written out on (re, im) pairs: a factor
// c / (z + c) is c (a + c) / d - i (c b / d) with d = (a + c)^2 + b^2, the
// products update both parts from the old values, and the final division by
// z goes through the conjugate. Each quotient is a true division, never a
// multiplication by a reciprocal: the inversions cancel terms of order 1 down
// to 1e-11 before scaling, so the last bit of every factor shows in the
// printed digits. Valid for every z != 0 with positive step rates; d > 0 at
// every node the inversions use.
Complex waitingTimeTransform(const TransformModel& model, double a, double b) {
    const double b2 = b * b;
    const double q = a * a + b2;
    double sumRe = 0;
    double sumIm = 0;
    const QueuePositionTables& t = *model.tables;
    for (int k = 1; k <= model.waitingPlaces; ++k) {
        double c = t.rate(k, 1);
        double d = (a + c) * (a + c) + b2;
        double pRe = c * (a + c) / d;
        double pIm = -(c * b / d);
        for (int j = 2; j <= k; ++j) {
            c = t.rate(k, j);
            d = (a + c) * (a + c) + b2;
            const double u = c * (a + c) / d;
            const double v = -(c * b / d);
            const double re = pRe * u - pIm * v;
            const double im = pIm * u + pRe * v;
            pRe = re;
            pIm = im;
        }
        const double w = model.positionWeight[k];
        sumRe = sumRe + w * pRe;
        sumIm = sumIm + w * pIm;
    }
    return Complex{(sumRe * a + sumIm * b) / q, (sumIm * a - sumRe * b) / q};
}

}  // namespace queuecalc
