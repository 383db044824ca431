#pragma once
#include <vector>

#include "input/binomial_table.h"
#include "inversion/transform.h"

namespace queuecalc {

struct EulerCurves {
    std::vector<double> weights;        // xi_0 .. xi_2M
    std::vector<double> nodesRe;        // beta_k real parts
    std::vector<double> nodesIm;        // beta_k imaginary parts
    std::vector<double> signedWeights;  // eta_k
    std::vector<double> jointCurve;     // P(0 < W <= t, S) per moment
    std::vector<double> conditionalCurve;  // P(W <= t | S) per moment
};

// Weights, nodes and signed weights for M terms from row M of the table.
void buildEulerWeights(int inversionTerms, const BinomialTable& table, EulerCurves& curves);

EulerCurves computeEulerCurves(int inversionTerms, const BinomialTable& table,
                               const std::vector<double>& timeGrid, double noWaitProb,
                               double servedProb, const TransformModel& model,
                               TransformEngine engine = TransformEngine::Fast);

}  // namespace queuecalc
