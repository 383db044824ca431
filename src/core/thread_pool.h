#pragma once
// The one way this program shares work among threads: the calling thread
// and as many helpers as the system will start, each running the same
// worker loop, which claims work items from a shared counter until none is
// left. A helper that cannot be started (std::system_error: no more threads
// to be had) is not waited for; the threads already running take its share,
// and the calling thread alone still finishes everything.
//
// An exception never leaves a thread it was thrown on (that would end the
// program): the first one is kept, the loop stops handing out work, and it
// is rethrown on the calling thread once every thread has ended.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/stop_request.h"

namespace queuecalc {

// The first exception of several threads, and whether there was one.
class FirstFailure {
public:
    // Keeps the exception being handled unless one is kept already.
    void keepCurrent() noexcept {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
        failed_.store(true, std::memory_order_release);
    }
    bool failed() const noexcept { return failed_.load(std::memory_order_acquire); }
    // Rethrows the kept exception, if any.
    void rethrow() const {
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    std::mutex mutex_;
    std::exception_ptr failure_;
    std::atomic<bool> failed_{false};
};

// Runs worker() on the calling thread and on up to threads - 1 helpers;
// returns when all have returned, and then rethrows the first exception a
// worker threw. The worker must be safe to run on any number of threads at
// once, including one. Loops over items should use forEachClaimed, which
// also stops the other threads at the first exception.
template <class Worker>
void runOnThreads(std::size_t threads, Worker& worker) {
    FirstFailure failure;
    const auto guarded = [&worker, &failure]() noexcept {
        try {
            worker();
        } catch (...) {
            failure.keepCurrent();
        }
    };
    std::vector<std::thread> helpers;
    if (threads > 1) helpers.reserve(threads - 1);
    for (std::size_t i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back(guarded);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the others take the rest
        }
    }
    guarded();
    for (std::thread& helper : helpers) helper.join();
    failure.rethrow();
}

// The worker loop of the library: body(begin, end) for consecutive blocks
// of `claim` items (the last may be shorter) covering [0, count), claimed
// in increasing order by the calling thread and up to threads - 1 helpers.
// After the first exception a body throws no block is claimed any more (a
// thread finishes the block at hand), and the exception is rethrown on the
// calling thread once all have ended; later ones are dropped. A body may
// also end the loop without an exception (stop: nobody takes the results
// any more). `stopped` tells a body that waits for another thread's block
// to stop waiting. A caller's StopRequest (none: never) is read before each
// claim; once it is made no block is claimed, and run() throws Stopped
// unless every block was done.
class ClaimedWork {
public:
    ClaimedWork(std::size_t count, std::size_t claim, const StopRequest* request = nullptr)
        : count_(count), claim_(std::max<std::size_t>(1, claim)), request_(request) {}

    template <class Body>
    void run(std::size_t threads, Body&& body) {
        auto worker = [&] {
            try {
                while (!stopped()) {
                    const std::size_t begin = next_.fetch_add(1, std::memory_order_relaxed);
                    if (begin >= blocks()) return;
                    body(begin * claim_, std::min(count_, (begin + 1) * claim_));
                }
            } catch (...) {
                failure_.keepCurrent();
            }
        };
        runOnThreads(std::max<std::size_t>(1, std::min(threads, blocks())), worker);
        failure_.rethrow();
        if (next_.load(std::memory_order_relaxed) < blocks()) throwIfStopped(request_);
    }

    // No block is claimed after this; those at hand are finished.
    void stop() noexcept { stop_.store(true, std::memory_order_release); }
    // Whether a body has thrown or stopped the loop: it is ending.
    bool stopped() const noexcept {
        return stop_.load(std::memory_order_acquire) || failure_.failed() || (request_ != nullptr && request_->requested());
    }

private:
    std::size_t blocks() const { return count_ / claim_ + (count_ % claim_ != 0 ? 1 : 0); }

    const std::size_t count_;
    const std::size_t claim_;
    std::atomic<std::size_t> next_{0};  // the next block
    std::atomic<bool> stop_{false};
    const StopRequest* const request_;
    FirstFailure failure_;
};

// ClaimedWork over [0, count) in blocks of `claim` items, for bodies that
// need not know when the loop stops; Stopped once `request` is made.
template <class Body>
void forEachClaimed(std::size_t threads, std::size_t count, std::size_t claim, Body&& body,
                    const StopRequest* request = nullptr) {
    ClaimedWork work(count, claim, request);
    work.run(threads, body);
}

}  // namespace queuecalc
