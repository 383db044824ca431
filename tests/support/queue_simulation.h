#pragma once
// A discrete-event simulation of the queue itself, M/M/s/(s+r)+GI, as the
// reference for models that are exact for any patience distribution (and
// for the chain where it is exact, exponential patience).
//
// What it simulates. Poisson arrivals at lambda; a caller who finds s + r
// callers present (in service plus still waiting) is lost, otherwise
// admitted; s agents with exponential talk times at mu; FCFS; every caller
// who has to wait draws a patience tau, iid from the input's distribution,
// and leaves when its wait reaches tau (patience runs only while it waits;
// until then it keeps its waiting place). A caller who finds a free agent is
// served at once and needs no patience, so none is drawn for it. Exponential
// and Erlang patience of rate 0 never run out.
//
// Method. Exact event logic, no discretisation:
//  - the next arrival and the next service completion are competing clocks;
//    with b agents busy the next completion is Exp(b mu) away, drawn afresh
//    whenever b changes or a completion happens (exact by the memorylessness
//    of exponential talk times);
//  - the waiting line is a deque of (arrival time, deadline = arrival + tau,
//    call number) in FCFS order, beside a min-heap of the deadlines. Before
//    each arrival or completion at time t, every deadline <= t leaves the
//    heap: a caller still in the line abandons then (its wait is its tau;
//    the line's count drops), one that has left the line was served earlier
//    and is skipped (lazy deletion). A caller is still in the line exactly
//    when its number is at least that of the line's head, since callers
//    leave the line from its head only;
//  - when an agent frees up at time t it takes the head among those still
//    waiting: callers at the head whose deadline is <= t have abandoned
//    (already counted through the heap) and are dropped. A deadline equal to
//    the service-start time counts as an abandonment: the wait has reached
//    tau. (With continuous patience that has probability zero.)
//  - after the last call has arrived the run goes on without arrivals until
//    every call has been served or has abandoned, so that each call counted
//    has its outcome; no later caller can change an earlier one's under FCFS.
// Random numbers: std::mt19937_64 seeded with `seed`; uniforms from its top
// 53 bits; exponentials by -log(U) with U in (0, 1]; Erlang-k as -log of a
// product of k uniforms (chunks of 16, far from underflow) over the phase
// rate; lognormal as exp(m + sigma Z) with Z from Box-Muller, sigma^2 =
// ln(1 + variance / mean^2) and m = ln(mean) - sigma^2 / 2. No
// std::*_distribution, whose algorithms differ between standard libraries:
// a seed gives the same calls everywhere, up to the last bits of log, exp,
// sqrt, sin and cos.
// Statistics: the first kWarmUpShare of the calls (counted in arrival order,
// lost ones included) start from an empty centre and are discarded; the
// others are split by arrival number into `batches` equal batches. Each
// estimate is a ratio of sums over the batches, sum Y_b / sum X_b (e.g.
// served callers over admitted ones), and its standard error that of the
// delta method over the batch sums:
//     SE^2 = sum_b (Y_b - R X_b)^2 / (B (B - 1) Xbar^2),  R = sum Y / sum X,
// which for a constant X_b (shares of offered calls) is the plain batch
// means error.
//
// Cost: O(log n) per event (the heap of deadlines, n its size: the callers
// waiting plus those served before their deadline, which lazy deletion
// keeps until it passes), amortised O(1) for the line; a few logarithms per
// call. Measured: 12 to 14 million calls a second at -O1, about 1 million at
// -O0 under AddressSanitizer and UBSan. Memory O(n + batches * thresholds).
//
// Limits. A stationary estimate only: the warm-up must outlast the
// centre's relaxation time and each batch must be long against the
// correlation time, or the standard errors come out too small (near
// critical load with a large room; a few hundred thousand calls per batch
// in such cases). The batch-means errors are themselves estimates from
// `batches` values (Student t with batches - 1 degrees of freedom rather
// than normal). Estimates given S or A are NaN where no measured call was
// served or abandoned. Calls that can never leave (no agents and infinite
// patience) are admitted but neither served nor abandoned.

#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <queue>
#include <random>
#include <stdexcept>
#include <vector>

#include "input/model_input.h"

namespace testsupport {

struct Estimate {
    double mean = 0;
    double standardError = 0;
};

// Estimates with their batch-means standard errors.
struct SimulatedQueue {
    Estimate lossProb;         // of offered calls
    Estimate noWaitProb;       // of admitted calls
    Estimate servedProb;       // of admitted calls
    Estimate abandonProb;      // of admitted calls
    Estimate meanWaitServed;   // E[W | S]
    Estimate meanWaitAbandon;  // E[W | A]
    std::vector<Estimate> serviceLevel;  // SL(t) = P(admitted, served, W <= t) over offered, at each threshold
    std::vector<Estimate> conditional;   // P(W <= t | S) at each threshold
    long measuredCalls = 0;              // offered calls after the warm-up
};

namespace simulation_detail {

// Share of the calls discarded as warm-up.
constexpr double kWarmUpShare = 0.05;
// Uniforms multiplied before one log for Erlang patience: 16 factors of at
// least 2^-53 stay above 2^-848, clear of the smallest normal double.
constexpr int kErlangChunk = 16;

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}

    // In (0, 1]: 1 - (top 53 bits of a draw) * 2^-53.
    double uniformPositive() { return 1.0 - static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

    double exponential(double rate) { return -std::log(uniformPositive()) / rate; }

    double erlang(int phases, double rate) {
        double sum = 0;
        for (int done = 0; done < phases; done += kErlangChunk) {
            double product = 1;
            for (int i = done; i < phases && i < done + kErlangChunk; ++i) product *= uniformPositive();
            sum -= std::log(product);
        }
        return sum / rate;
    }

    // Standard normal by Box-Muller; the second value of each pair is kept
    // for the next call.
    double normal() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        const double radius = std::sqrt(-2 * std::log(uniformPositive()));
        const double angle = 6.283185307179586 * uniformPositive();  // 2 pi
        spare_ = radius * std::sin(angle);
        haveSpare_ = true;
        return radius * std::cos(angle);
    }

private:
    std::mt19937_64 engine_;
    double spare_ = 0;
    bool haveSpare_ = false;
};

// The patience distribution of an input, by its raw type.
class Patience {
public:
    explicit Patience(const queuecalc::ModelInput& input) {
        switch (input.abandonType) {
            case 0:
                kind_ = input.abandonParam1 > 0 ? Kind::Exponential : Kind::Never;
                rate_ = input.abandonParam1;
                break;
            case 1:
                kind_ = input.abandonParam1 > 0 ? Kind::Erlang : Kind::Never;
                rate_ = input.abandonParam1;
                phases_ = static_cast<int>(std::floor(input.abandonParam2));
                if (phases_ < 1) throw std::invalid_argument("Erlang patience needs at least one phase");
                break;
            case 2: {
                if (!(input.abandonParam1 > 0) || !(input.abandonParam2 >= 0))
                    throw std::invalid_argument("lognormal patience needs a positive mean and a variance >= 0");
                kind_ = Kind::Lognormal;
                const double variance = std::log1p(input.abandonParam2 / (input.abandonParam1 * input.abandonParam1));
                sigma_ = std::sqrt(variance);
                location_ = std::log(input.abandonParam1) - variance / 2;
                break;
            }
            default:
                throw std::invalid_argument("unknown patience type");
        }
    }

    bool finite() const { return kind_ != Kind::Never; }

    double draw(Random& random) const {
        switch (kind_) {
            case Kind::Exponential: return random.exponential(rate_);
            case Kind::Erlang: return random.erlang(phases_, rate_);
            case Kind::Lognormal: return std::exp(location_ + sigma_ * random.normal());
            case Kind::Never: break;
        }
        return std::numeric_limits<double>::infinity();
    }

private:
    enum class Kind { Never, Exponential, Erlang, Lognormal };
    Kind kind_ = Kind::Never;
    double rate_ = 0;
    int phases_ = 1;
    double location_ = 0;
    double sigma_ = 0;
};

// Sums of one batch. `within` holds, per threshold, the served calls with
// W <= t (zero waits included).
struct Batch {
    double offered = 0, lost = 0, admitted = 0, noWait = 0, served = 0, abandoned = 0;
    double waitServed = 0, waitAbandon = 0;
    std::vector<double> within;
};

// sum Y / sum X over the batches and its delta-method standard error.
template <class Numerator, class Denominator>
Estimate ratioEstimate(const std::vector<Batch>& batches, Numerator y, Denominator x) {
    double sumY = 0, sumX = 0;
    for (const Batch& b : batches) {
        sumY += y(b);
        sumX += x(b);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!(sumX > 0)) return {nan, nan};
    const double ratio = sumY / sumX;
    double squares = 0;
    for (const Batch& b : batches) {
        const double residual = y(b) - ratio * x(b);
        squares += residual * residual;
    }
    const double count = static_cast<double>(batches.size());
    const double meanX = sumX / count;
    return {ratio, std::sqrt(squares / (count * (count - 1))) / meanX};
}

struct Waiter {
    double arrival;
    double deadline;
    long number;  // call number, in arrival order
};

struct Deadline {
    double deadline;
    double patience;
    long number;
    bool operator>(const Deadline& other) const { return deadline > other.deadline; }
};

}  // namespace simulation_detail

// Simulates `calls` offered calls of the centre (servers, waitingPlaces,
// serviceRate, arrivalRate and the patience of `input`; the rest is not
// read) and estimates its measures, with SL and P(W <= t | S) at each
// threshold. Throws std::invalid_argument for fewer than 2 batches, fewer
// measured calls than batches, or a patience it cannot draw.
inline SimulatedQueue simulateQueue(const queuecalc::ModelInput& input, const std::vector<double>& thresholds,
                                    std::uint64_t seed, long calls, int batches = 50) {
    using namespace simulation_detail;
    const long warmUp = static_cast<long>(kWarmUpShare * static_cast<double>(calls));
    const long measured = calls - warmUp;
    if (batches < 2 || measured < batches) throw std::invalid_argument("simulateQueue: too few calls or batches");
    const Patience patience(input);
    const int servers = input.servers;
    const long capacity = static_cast<long>(input.servers) + input.waitingPlaces;
    const double lambda = input.arrivalRate;
    const double mu = input.serviceRate;
    const double infinity = std::numeric_limits<double>::infinity();
    const std::size_t thresholdCount = thresholds.size();

    std::vector<Batch> tally(static_cast<std::size_t>(batches));
    for (Batch& b : tally) b.within.assign(thresholdCount, 0.0);
    // The batch of call `number`, none during the warm-up.
    auto batchOf = [&](long number) -> Batch* {
        if (number < warmUp) return nullptr;
        const long long index = static_cast<long long>(number - warmUp) * batches / measured;
        return &tally[static_cast<std::size_t>(index)];
    };
    auto recordServed = [&](long number, double wait) {
        Batch* b = batchOf(number);
        if (!b) return;
        b->served += 1;
        b->waitServed += wait;
        for (std::size_t j = 0; j < thresholdCount; ++j)
            if (wait <= thresholds[j]) b->within[j] += 1;
    };

    Random random(seed);
    std::deque<Waiter> line;  // FCFS; may still hold callers who abandoned behind its head
    std::priority_queue<Deadline, std::vector<Deadline>, std::greater<Deadline>> deadlines;
    long waiting = 0;  // callers in the line who have not abandoned
    int busy = 0;
    long arrived = 0;
    double now = 0;
    double nextArrival = random.exponential(lambda);
    double nextCompletion = infinity;

    auto drawCompletion = [&] { nextCompletion = busy > 0 ? now + random.exponential(busy * mu) : infinity; };
    // Every deadline up to `time` passes: callers still in the line abandon.
    auto abandonUpTo = [&](double time) {
        while (!deadlines.empty() && deadlines.top().deadline <= time) {
            const Deadline d = deadlines.top();
            deadlines.pop();
            if (line.empty() || d.number < line.front().number) continue;  // served before it passed
            --waiting;
            if (Batch* b = batchOf(d.number)) {
                b->abandoned += 1;
                b->waitAbandon += d.patience;
            }
        }
        while (!line.empty() && line.front().deadline <= time) line.pop_front();
    };

    for (;;) {
        if (arrived < calls && nextArrival <= nextCompletion) {
            now = nextArrival;
            abandonUpTo(now);
            const long number = arrived++;
            Batch* b = batchOf(number);
            if (b) b->offered += 1;
            if (busy + waiting >= capacity) {
                if (b) b->lost += 1;
            } else {
                if (b) b->admitted += 1;
                if (busy < servers) {  // the line is empty: a free agent takes the call
                    ++busy;
                    if (b) b->noWait += 1;
                    recordServed(number, 0.0);
                    drawCompletion();
                } else {
                    const double tau = patience.draw(random);
                    line.push_back({now, now + tau, number});
                    ++waiting;
                    if (patience.finite()) deadlines.push({now + tau, tau, number});
                }
            }
            nextArrival = now + random.exponential(lambda);
        } else if (busy > 0) {
            now = nextCompletion;
            abandonUpTo(now);  // also drops the abandoned callers at the head
            if (!line.empty()) {
                const Waiter next = line.front();
                line.pop_front();
                --waiting;
                recordServed(next.number, now - next.arrival);
            } else {
                --busy;
            }
            drawCompletion();
        } else {
            break;  // no calls to come, nobody in service
        }
    }
    abandonUpTo(infinity);  // without agents, the last callers abandon at their deadlines

    SimulatedQueue q;
    q.measuredCalls = measured;
    auto offered = [](const Batch& b) { return b.offered; };
    auto admitted = [](const Batch& b) { return b.admitted; };
    auto served = [](const Batch& b) { return b.served; };
    auto abandoned = [](const Batch& b) { return b.abandoned; };
    q.lossProb = ratioEstimate(tally, [](const Batch& b) { return b.lost; }, offered);
    q.noWaitProb = ratioEstimate(tally, [](const Batch& b) { return b.noWait; }, admitted);
    q.servedProb = ratioEstimate(tally, served, admitted);
    q.abandonProb = ratioEstimate(tally, abandoned, admitted);
    q.meanWaitServed = ratioEstimate(tally, [](const Batch& b) { return b.waitServed; }, served);
    q.meanWaitAbandon = ratioEstimate(tally, [](const Batch& b) { return b.waitAbandon; }, abandoned);
    for (std::size_t j = 0; j < thresholdCount; ++j) {
        auto within = [j](const Batch& b) { return b.within[j]; };
        q.serviceLevel.push_back(ratioEstimate(tally, within, offered));
        q.conditional.push_back(ratioEstimate(tally, within, served));
    }
    return q;
}

}  // namespace testsupport
