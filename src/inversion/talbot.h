#pragma once
#include <vector>

#include "inversion/transform.h"

namespace queuecalc {

struct TalbotCurves {
    std::vector<double> nodesRe;    // delta_k
    std::vector<double> nodesIm;
    std::vector<double> weightsRe;  // gamma_k
    std::vector<double> weightsIm;
    std::vector<double> jointCurve;
    std::vector<double> conditionalCurve;
};

void buildTalbotNodes(int inversionTerms, TalbotCurves& curves);

TalbotCurves computeTalbotCurves(int inversionTerms, const std::vector<double>& timeGrid,
                                 double noWaitProb, double servedProb,
                                 const TransformModel& model,
                                 TransformEngine engine = TransformEngine::Fast);

}  // namespace queuecalc
