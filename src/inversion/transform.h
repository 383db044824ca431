#pragma once
#include <cstddef>
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
// double whether formed here or in every call).
struct TransformModel {
    int waitingPlaces = 0;
    const QueuePositionTables* tables = nullptr;
    std::vector<double> positionWeight;  // r + 1, [0] unused
};

TransformModel makeTransformModel(int servers, int waitingPlaces,
                                  const std::vector<double>& admittedDist,
                                  const QueuePositionTables& tables);

// G(z) = F(z) / z at z = a + ib, the Laplace transform of t -> P(0 < W <= t, S).
// The plain scalar evaluation: the reference for every faster path.
Complex waitingTimeTransform(const TransformModel& model, double a, double b);

// How a batch of independent transform values is evaluated. Every engine
// gives the same bits as waitingTimeTransform at every point.
enum class TransformEngine {
    Scalar,  // one point after another, waitingTimeTransform
    Fast,    // widest SIMD the processor has, points spread over threads
};

// out[i] = G(a[i] + i b[i]) for i = 0 .. n-1.
void evaluateTransformBatch(const TransformModel& model, const double* a, const double* b,
                            std::size_t n, Complex* out, TransformEngine engine);

}  // namespace queuecalc
