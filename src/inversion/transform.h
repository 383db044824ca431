#pragma once
#include <cstddef>
#include <memory>
#include <vector>

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
struct TransformModel {
    int waitingPlaces = 0;
    std::shared_ptr<const QueuePositionTables> tables;
    std::vector<double> positionWeight;  // r + 1, [0] unused
};

// admittedDist has s + r + 1 entries; tables were built for r waiting places.
TransformModel makeTransformModel(int servers, int waitingPlaces,
                                  const std::vector<double>& admittedDist,
                                  std::shared_ptr<const QueuePositionTables> tables);

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
