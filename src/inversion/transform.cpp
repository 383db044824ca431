#include "inversion/transform.h"

#include <utility>

namespace queuecalc {

TransformModel makeTransformModel(int servers, int waitingPlaces,
                                  const std::vector<double>& admittedDist,
                                  std::shared_ptr<const QueuePositionTables> shared) {
    const QueuePositionTables& tables = *shared;
    TransformModel m;
    m.waitingPlaces = waitingPlaces;
    m.tables = std::move(shared);
    m.positionWeight.assign(static_cast<std::size_t>(waitingPlaces) + 1, 0.0);
    for (int k = 1; k <= waitingPlaces; ++k)
        m.positionWeight[k] = tables.reachServiceProb[k] * admittedDist[servers + k - 1];
    return m;
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
        const double* rate = t.rateRow(k);
        double c = rate[0];
        double d = (a + c) * (a + c) + b2;
        double pRe = c * (a + c) / d;
        double pIm = -(c * b / d);
        for (int j = 2; j <= k; ++j) {
            c = rate[j - 1];
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
