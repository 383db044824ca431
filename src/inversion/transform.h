#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "inversion/cost_model.h"
#include "model/queue_positions.h"

namespace queuecalc {

struct Complex {
    double re;
    double im;
};

// What the waiting-time transform reads of the queue model: the step rates of
// every joining position and the weight w_k = reachServiceProb[k] *
// admittedDist[s + k - 1] of each (formed once; the product is the same
// double whether formed here or in every call). Shares the tables with the
// model that built them, so a copy stays valid on its own.
//
// The two row bounds let the fast path leave out the work of a position whose
// contribution cannot change a bit of the sum (transform_kernel.h proves it).
// A model without them (empty vectors) is evaluated in full.
struct TransformModel {
    int waitingPlaces = 0;
    std::shared_ptr<const QueuePositionTables> tables;
    std::vector<double> positionWeight;  // r + 1, [0] unused
    // Row k: the smallest and the largest step rate c_kj when every rate of
    // the row lies in [kSafeRateLow, kSafeRateHigh], NaN otherwise (the row is
    // then always evaluated in full). r + 1 each, [0] unused.
    std::vector<double> rowRateLow;
    std::vector<double> rowRateHigh;
    // Row k: 1 when its rates never rise along the row (c_kj >= c_k,j+1, as
    // when every hazard rate is >= 0), so that the rates still to come after
    // step j lie in [c_kk, c_k,j+1]; 0 otherwise. r + 1, [0] unused.
    std::vector<unsigned char> rowRatesFall;
    // Row k: |w_k| * kWeightMargin rounded, an upper bound of |w_k| with room
    // for the rounding of the rest of a row (inf or NaN for a weight that is
    // not finite, which is never left out). r + 1, [0] unused.
    std::vector<double> rowWeightBound;
};

// Step rates and point coordinates in [2^-500, 2^500] keep every square,
// product and quotient of a step factor clear of overflow and of the
// subnormal range, where rounding errors stop being relative.
constexpr double kSafeRateLow = 0x1p-500;
constexpr double kSafeRateHigh = 0x1p500;
// 1 + 2^-20: covers the relative rounding growth of a product over any row
// that fits in memory (at most (1 + 10 u)^n with n < 2^28 steps, u = 2^-53)
// and the rounding of the bound itself.
constexpr double kWeightMargin = 1 + 0x1p-20;

// The model of a call centre; with its row bounds from kRowsWorthBounding
// waiting places on. admittedDist has s + r + 1 entries; tables were built
// for r waiting places.
TransformModel makeTransformModel(int servers, int waitingPlaces,
                                  const std::vector<double>& admittedDist,
                                  std::shared_ptr<const QueuePositionTables> tables);
// The same into `model`, reusing the capacity of its vectors; the same values
// (without row bounds below kRowsWorthBounding, as there).
void makeTransformModelInto(TransformModel& model, int servers, int waitingPlaces,
                            const std::vector<double>& admittedDist,
                            std::shared_ptr<const QueuePositionTables> tables);

// Fills rowRateLow, rowRateHigh, rowRatesFall and rowWeightBound of a model whose tables
// and weights are set, so that the fast path may leave out work.
void boundTransformRows(TransformModel& model);

// Below this many waiting places the rows are too short for the fast path's
// checks to pay: the typical example (r = 20, moments up to 5) needs 98 % of
// its steps anyway, and the checks nearly doubled its kernel's instructions.
// From r = 200 on, a tenth of the steps or less is typical.
constexpr int kRowsWorthBounding = 48;

// G(z) = F(z) / z at z = a + ib, the Laplace transform of t -> P(0 < W <= t, S).
// The plain scalar evaluation: the reference for every faster path.
Complex waitingTimeTransform(const TransformModel& model, double a, double b);

// How a batch of independent transform values is evaluated. Every engine
// gives the same bits as waitingTimeTransform at every point.
enum class TransformEngine {
    Scalar,  // one point after another, waitingTimeTransform
    Fast,    // widest SIMD the processor has, points spread over threads
    FastOneThread,  // widest SIMD, on the calling thread only (for callers
                    // that run many models on threads of their own)
};

// out[i] = G(a[i] + i b[i]) for i = 0 .. n-1.
void evaluateTransformBatch(const TransformModel& model, const double* a, const double* b,
                            std::size_t n, Complex* out, TransformEngine engine);

// Moments whose transform values the inversions evaluate together: enough
// points to keep every SIMD lane and thread busy, few enough to bound the
// buffers.
constexpr std::size_t kMomentsPerBatch = 64;

// The transform at the nodes of the moments first .. last-1 of the list,
// each node divided by the moment part by part:
//   out[(n - first) * nodes + k] = G(nodesRe[k] / t_n + i nodesIm[k] / t_n).
void evaluateAtMoments(const TransformModel& model, const std::vector<double>& timeGrid,
                       std::size_t first, std::size_t last, const std::vector<double>& nodesRe,
                       const std::vector<double>& nodesIm, std::vector<Complex>& out,
                       TransformEngine engine);

}  // namespace queuecalc
