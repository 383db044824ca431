// How often the transform kernel multiplies or divides in the subnormal range,
// with and without leaving out the work that cannot change a bit: a count,
// not a time, so that it says the same on every processor. On processors that
// take a microcode assist for a multiplication or division with a subnormal
// operand or result (or one that underflows to zero), each such operation
// costs on the order of a hundred cycles; counting them shows whether a
// kernel pays for it.
//
// The kernel of transform_kernel.h runs here on emulated vectors of eight
// lanes whose operations are the scalar ones, counted lane by lane; it does
// exactly the operations of the SIMD kernels. For each large example it
// evaluates the transform values of every tenth moment (Euler and Talbot
// nodes, in moment order, eight points per vector) twice: with every step (a
// model without row bounds) and with the rule.
//
//   queuecalc_census [examples folder]     (default: the source tree's)

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/queue_model.h"
#include "input/binomial_table.h"
#include "input/model_input.h"
#include "inversion/euler.h"
#include "inversion/talbot.h"
#include "inversion/transform.h"
#include "inversion/transform_kernel.h"

namespace queuecalc {
namespace {

struct Counts {
    std::uint64_t products = 0;   // multiplications and divisions, per lane
    std::uint64_t subnormal = 0;  // of those, with a subnormal operand or result or an underflow
};

Counts counts;

bool subnormal(double x) { return std::fpclassify(x) == FP_SUBNORMAL; }

double counted(double x, double y, double result) {
    ++counts.products;
    const bool underflow = result == 0 && x != 0 && y != 0 && std::isfinite(x) && std::isfinite(y);
    if (subnormal(x) || subnormal(y) || subnormal(result) || underflow) ++counts.subnormal;
    return result;
}

// Eight lanes of scalar doubles with the interface of the SIMD wrappers.
struct CountingLanes {
    static const int lanes = 8;
    struct reg {
        double v[lanes];
    };
    struct mask {
        bool v[lanes];
    };
    template <class F>
    static reg each(F f) {
        reg r;
        for (int i = 0; i < lanes; ++i) r.v[i] = f(i);
        return r;
    }
    template <class F>
    static mask test(F f) {
        mask m;
        for (int i = 0; i < lanes; ++i) m.v[i] = f(i);
        return m;
    }
    static reg load(const double* p) {
        return each([&](int i) { return p[i]; });
    }
    static void store(double* p, reg x) {
        for (int i = 0; i < lanes; ++i) p[i] = x.v[i];
    }
    static reg broadcast(double x) {
        return each([&](int) { return x; });
    }
    static reg zero() { return broadcast(0.0); }
    static reg add(reg x, reg y) {
        return each([&](int i) { return x.v[i] + y.v[i]; });
    }
    static reg sub(reg x, reg y) {
        return each([&](int i) { return x.v[i] - y.v[i]; });
    }
    static reg mul(reg x, reg y) {
        return each([&](int i) { return counted(x.v[i], y.v[i], x.v[i] * y.v[i]); });
    }
    static reg div(reg x, reg y) {
        return each([&](int i) { return counted(x.v[i], y.v[i], x.v[i] / y.v[i]); });
    }
    static reg neg(reg x) {
        return each([&](int i) { return -x.v[i]; });
    }
    static reg abs(reg x) {
        return each([&](int i) { return std::fabs(x.v[i]); });
    }
    static reg min(reg x, reg y) {
        return each([&](int i) { return x.v[i] < y.v[i] ? x.v[i] : y.v[i]; });
    }
    static reg max(reg x, reg y) {
        return each([&](int i) { return y.v[i] < x.v[i] ? x.v[i] : y.v[i]; });
    }
    static mask less(reg x, reg y) {
        return test([&](int i) { return x.v[i] < y.v[i]; });
    }
    static mask lessEqual(reg x, reg y) {
        return test([&](int i) { return x.v[i] <= y.v[i]; });
    }
    static mask equal(reg x, reg y) {
        return test([&](int i) { return x.v[i] == y.v[i]; });
    }
    static mask isNan(reg x) {
        return test([&](int i) { return std::isnan(x.v[i]); });
    }
    static mask both(mask x, mask y) {
        return test([&](int i) { return x.v[i] && y.v[i]; });
    }
    static mask either(mask x, mask y) {
        return test([&](int i) { return x.v[i] || y.v[i]; });
    }
    static bool all(mask m) {
        for (int i = 0; i < lanes; ++i)
            if (!m.v[i]) return false;
        return true;
    }
    static bool none(mask m) {
        for (int i = 0; i < lanes; ++i)
            if (m.v[i]) return false;
        return true;
    }
    static reg keepWhere(mask m, reg x) {
        return each([&](int i) { return m.v[i] ? x.v[i] : 0.0; });
    }
    static reg zeroWhere(mask m, reg x) {
        return each([&](int i) { return m.v[i] ? 0.0 : x.v[i]; });
    }
    static reg select(mask m, reg x, reg y) {
        return each([&](int i) { return m.v[i] ? x.v[i] : y.v[i]; });
    }
};

struct Census {
    Counts counts;
    std::uint64_t steps = 0;
    std::uint64_t vectors = 0;
};

Census census(const TransformModel& model, const std::vector<double>& a,
              const std::vector<double>& b) {
    counts = Counts();
    std::vector<Complex> out(a.size());
    Census c;
    c.steps = transform_kernel::evaluatePoints<CountingLanes>(model, a.data(), b.data(), a.size(),
                                                              out.data());
    c.vectors = (a.size() + CountingLanes::lanes - 1) / CountingLanes::lanes;
    c.counts = counts;
    return c;
}

void report(const char* what, const Census& c, double stepsPerVector) {
    std::printf(
        "  %-13s vector steps %6.2f %%   products %14llu   subnormal %12llu (%.3g %%)\n", what,
        100.0 * static_cast<double>(c.steps) / (c.vectors * stepsPerVector),
        static_cast<unsigned long long>(c.counts.products),
        static_cast<unsigned long long>(c.counts.subnormal),
        100.0 * static_cast<double>(c.counts.subnormal) / static_cast<double>(c.counts.products));
}

void countExample(const std::string& folder) {
    const ModelInput in = readModelInputFile(folder + "/" + kInputFileName);
    const BinomialTable table =
        readBinomialTableFile(folder + "/" + kBinomialFileName, in.inversionTerms, in.inversion);
    const QueueModel queue = buildQueueModel(in);
    const TransformModel& model = queue.transform;
    TransformModel everyStep = model;
    everyStep.rowRateLow.clear();  // without row bounds the kernel does every step

    std::vector<const InversionNodes*> rules;
    const EulerRule euler = buildEulerRule(in.inversionTerms, table.rows[in.inversionTerms]);
    const TalbotRule talbot = buildTalbotRule(in.inversionTerms);
    if (runsEuler(in.inversion)) rules.push_back(&euler.nodes);
    if (runsTalbot(in.inversion)) rules.push_back(&talbot.nodes);
    std::vector<double> a;
    std::vector<double> b;
    const int moments = static_cast<int>(std::floor(in.maxTime / in.momentInterval));
    for (int j = 1; j <= moments; j += 10) {
        const double t = j * in.momentInterval;
        for (const InversionNodes* nodes : rules) {
            for (std::size_t k = 0; k < nodes->re.size(); ++k) {
                a.push_back(nodes->re[k] / t);
                b.push_back(nodes->im[k] / t);
            }
        }
    }
    const double steps = static_cast<double>(stepFactorsPerPoint(in.waitingPlaces));
    std::printf("%s: s = %d, r = %d, %zu points (every tenth moment)\n", folder.c_str(), in.servers,
                in.waitingPlaces, a.size());
    std::fflush(stdout);
    report("every step", census(everyStep, a, b), steps);
    report("with the rule", census(model, a, b), steps);
    std::fflush(stdout);
}

}  // namespace
}  // namespace queuecalc

int main(int argc, char** argv) {
    const std::string examples = argc > 1 ? argv[1] : QUEUECALC_EXAMPLES;
    for (const char* name : {"large", "overloaded", "lognormal"})
        queuecalc::countExample(examples + "/" + name);
    return 0;
}
