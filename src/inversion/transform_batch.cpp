#include "inversion/transform.h"

namespace queuecalc {

void evaluateTransformBatch(const TransformModel& model, const double* a, const double* b,
                            std::size_t n, Complex* out, TransformEngine engine) {
    (void)engine;
    for (std::size_t i = 0; i < n; ++i) out[i] = waitingTimeTransform(model, a[i], b[i]);
}

}  // namespace queuecalc
