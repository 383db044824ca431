#pragma once
// A request to end a long computation early: made by whoever waits for the
// result (a program on an interrupt, the Python module on Ctrl-C), read by
// the computation between its steps (rows, intervals, the staffing search's
// probes), which then ends by throwing Stopped. The library never decides to
// stop on its own and never says so: the caller that asked knows why.

#include <atomic>
#include <exception>

namespace queuecalc {

// Set once from any thread, or from a signal handler (a lock-free atomic
// store); read by any number of threads.
class StopRequest {
public:
    void request() noexcept { requested_.store(true, std::memory_order_release); }
    bool requested() const noexcept { return requested_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> requested_{false};
};

// What a computation throws when it saw the request: it ends without a
// result. Whatever turns a scenario's failure into a finding lets it pass.
class Stopped : public std::exception {
public:
    const char* what() const noexcept override { return "the computation was stopped on request"; }
};

// Throws Stopped where `stop` (none: never) has been requested.
inline void throwIfStopped(const StopRequest* stop) {
    if (stop != nullptr && stop->requested()) throw Stopped();
}

}  // namespace queuecalc
