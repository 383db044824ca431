#pragma once
// M/M/s+M (Erlang A) with an unlimited waiting room, from its definition
// alone, in long double: the birth-and-death chain of the number of callers
// present (deaths min(n, s) mu + max(n - s, 0) theta), truncated where its
// terms fall below 1e-40 of the largest. The measures come by other routes
// than the library's position tables:
//   P(NoWait) = P(N < s) (PASTA, nothing lost); queue length E[(N - s)+];
//   abandonment theta E[(N - s)+] / lambda (abandonments balance their rate);
//   a caller who finds j waiting ahead leaves state j at R_j = s mu + (j + 1) theta
//   and moves on with probability (s mu + j theta) / R_j: ASA by a recursion
//   over j, and the service level by uniformizing that pure-death chain with
//   killing at its largest rate (only when tau > 0).

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace testsupport {

struct ErlangA {
    double noWait = 0;        // P(W = 0)
    double queueLength = 0;   // mean number waiting
    double abandonment = 0;   // share of offered calls that hang up
    double asa = 0;           // mean wait of answered calls
    double serviceLevel = std::numeric_limits<double>::quiet_NaN();  // answered within tau
};

inline ErlangA erlangA(int s, long double lambda, long double mu, long double theta, double tau = 0) {
    using Real = long double;
    std::vector<Real> weight{1};
    for (int n = 1;; ++n) {
        const Real death = std::min(n, s) * mu + std::max(n - s, 0) * theta;
        weight.push_back(weight.back() * lambda / death);
        if (n > s && weight.back() < 1e-40L * *std::max_element(weight.begin(), weight.end())) break;
    }
    Real total = 0, noWait = 0, queue = 0;
    for (std::size_t n = 0; n < weight.size(); ++n) {
        total += weight[n];
        if (static_cast<int>(n) < s) noWait += weight[n];
        else queue += (static_cast<Real>(n) - s) * weight[n];
    }
    ErlangA a;
    a.noWait = static_cast<double>(noWait / total);
    a.queueLength = static_cast<double>(queue / total);
    a.abandonment = static_cast<double>(theta * queue / total / lambda);
    const std::size_t ahead = weight.size() - s;  // j = 0 .. ahead - 1
    // ASA: E[W 1_S | j ahead] and P(S | j ahead) by the recursion over j.
    Real meanServed = 0, servedAll = noWait / total, reach = 1, partial = 0;
    for (std::size_t j = 0; j < ahead; ++j) {
        const Real R = s * mu + (j + 1) * theta;
        const Real on = (s * mu + j * theta) / R;
        partial = on * (reach / R + partial);
        reach = on * reach;
        meanServed += weight[s + j] / total * partial;
        servedAll += weight[s + j] / total * reach;
    }
    a.asa = static_cast<double>(meanServed / servedAll);
    if (!(tau > 0)) return a;
    // Uniformized pure-death chain with killing, started from the arrivals
    // that wait; `served` collects those answered.
    std::vector<Real> p(ahead);
    for (std::size_t j = 0; j < ahead; ++j) p[j] = weight[s + j] / total;
    const Real rate = s * mu + ahead * theta;
    Real served = 0, sl = 0;
    Real poisson = std::exp(-rate * tau);  // Poisson(0; rate tau)
    for (int k = 0; k < 100000; ++k) {
        sl += poisson * served;
        if (k > rate * tau && poisson < 1e-30L) break;
        std::vector<Real> next(ahead, 0);
        for (std::size_t j = 0; j < ahead; ++j) {
            const Real on = (s * mu + j * theta) / rate;
            const Real stay = 1 - on - theta / rate;
            next[j] += stay * p[j];
            if (j == 0) served += on * p[j];
            else next[j - 1] += on * p[j];
        }
        p.swap(next);
        poisson *= rate * tau / (k + 1);
    }
    a.serviceLevel = static_cast<double>(noWait / total + sl);
    return a;
}

}  // namespace testsupport
