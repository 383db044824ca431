#pragma once
// The one way this program shares work among threads: the calling thread
// and as many helpers as the system will start, each running the same
// worker, which claims its work from a shared counter until none is left.
// A helper that cannot be started (std::system_error: no more threads to be
// had) is not waited for; the threads already running take its share, and
// the calling thread alone still finishes everything.

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace queuecalc {

// Runs worker() on the calling thread and on up to threads - 1 helpers;
// returns when all have returned. The worker must be safe to run on any
// number of threads at once, including one.
template <class Worker>
void runOnThreads(std::size_t threads, Worker& worker) {
    std::vector<std::thread> helpers;
    if (threads > 1) helpers.reserve(threads - 1);
    for (std::size_t i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back([&worker] { worker(); });
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the others take the rest
        }
    }
    worker();
    for (std::thread& helper : helpers) helper.join();
}

}  // namespace queuecalc
