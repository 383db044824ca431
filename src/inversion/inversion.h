#pragma once
// What both inversion algorithms share: the curves they produce, the progress
// hook, and the batch loop that evaluates the transform at the nodes of many
// moments at once and sums each moment's terms in node order.

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "inversion/transform.h"

namespace queuecalc {

// P(0 < W <= t, S) and P(W <= t | S) at each requested moment, in the order
// given, plus the size of what each joint value's sum cancelled.
struct WaitingTimeCurves {
    std::vector<double> joint;        // P(0 < W <= t, S)
    std::vector<double> conditional;  // P(W <= t | S) = (joint + P(W = 0)) / P(S)
    // sum_k |term_k|, scaled exactly as the joint value is. Times the double
    // epsilon it bounds, roughly, the rounding error of `joint`: the terms are
    // of order 1 and cancel down to the result.
    std::vector<double> termMagnitude;
};

// The curves of the algorithms that ran: an algorithm is present exactly when
// its curves are.
struct InversionResults {
    std::optional<WaitingTimeCurves> euler;
    std::optional<WaitingTimeCurves> talbot;
};

// Called after each batch of moments with the moments done and their total.
// May be empty.
using ProgressCallback = std::function<void(std::size_t done, std::size_t total)>;

// The nodes of one inversion rule: the transform is evaluated at
// (nodesRe[k] + i nodesIm[k]) / t for each moment t.
struct InversionNodes {
    std::vector<double> re;
    std::vector<double> im;
};

namespace inversion_detail {

// The batch loop of both algorithms. For each moment t (in batches of
// kMomentsPerBatch, so that every SIMD lane and thread has work), evaluates
// g_k = G(nodes_k / t) side by side, then forms
//   joint = 0;  joint = joint + term(k, g_k) for k in node order;
//   joint = joint * factor / t;   conditional = (joint + noWait) / served,
// in exactly this order: the sum cancels terms of order 1 down to the result,
// so its order decides the printed digits. termMagnitude accumulates
// |term(k, g_k)| alongside, without touching the sum.
template <class Term>
WaitingTimeCurves sumAtMoments(const TransformModel& model, const InversionNodes& nodes,
                               const std::vector<double>& moments, double factor, Term term,
                               double noWaitProb, double servedProb, TransformEngine engine,
                               const ProgressCallback& progress) {
    WaitingTimeCurves curves;
    const std::size_t count = moments.size();
    curves.joint.assign(count, 0.0);
    curves.conditional.assign(count, 0.0);
    curves.termMagnitude.assign(count, 0.0);
    const std::size_t k_end = nodes.re.size();
    std::vector<Complex> g;
    for (std::size_t first = 0; first < count; first += kMomentsPerBatch) {
        const std::size_t last = count - first < kMomentsPerBatch ? count : first + kMomentsPerBatch;
        evaluateAtMoments(model, moments, first, last, nodes.re, nodes.im, g, engine);
        for (std::size_t n = first; n < last; ++n) {
            const double t = moments[n];
            double joint = 0;
            double magnitude = 0;
            for (std::size_t k = 0; k < k_end; ++k) {
                const double value = term(k, g[(n - first) * k_end + k]);
                joint = joint + value;
                magnitude = magnitude + (value < 0 ? -value : value);
            }
            joint = joint * factor / t;
            curves.joint[n] = joint;
            curves.conditional[n] = (joint + noWaitProb) / servedProb;
            curves.termMagnitude[n] = magnitude * factor / t;
        }
        if (progress) progress(last, count);
    }
    return curves;
}

}  // namespace inversion_detail

}  // namespace queuecalc
