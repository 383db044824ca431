// The library's worker loop: every item once, and an exception thrown on any
// thread reaches the caller while the other threads stop claiming.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/stop_request.h"
#include "core/thread_pool.h"

namespace {

// Items that take this long each make a loop that is not stopped take
// seconds (count / threads of them), so that the stop is plain to see.
constexpr auto kSlowItem = std::chrono::milliseconds(2);
constexpr std::size_t kItems = 2000;

}  // namespace

TEST(WorkerLoop, CoversEveryItemOnceInBlocksOfAnySize) {
    const struct {
        std::size_t threads, count, claim;
    } cases[] = {{1, 0, 1}, {1, 7, 3}, {4, 1000, 1}, {4, 1001, 16}, {8, 5, 100}};
    for (const auto& c : cases) {
        std::vector<std::atomic<int>> seen(c.count);
        queuecalc::forEachClaimed(c.threads, c.count, c.claim, [&](std::size_t begin, std::size_t end) {
            EXPECT_LE(end - begin, c.claim);
            for (std::size_t i = begin; i < end; ++i) ++seen[i];
        });
        for (std::size_t i = 0; i < c.count; ++i) EXPECT_EQ(seen[i], 1) << c.threads << " threads, item " << i;
    }
}

TEST(WorkerLoop, AnExceptionOnAnyThreadReachesTheCallerAndTheOthersStop) {
    for (const std::size_t threads : {1, 2, 4}) {
        for (const std::size_t failing : {std::size_t{0}, std::size_t{5}}) {
            std::atomic<std::size_t> done{0};
            try {
                queuecalc::forEachClaimed(threads, kItems, 1, [&](std::size_t item, std::size_t) {
                    if (item == failing) throw std::runtime_error("item " + std::to_string(item));
                    std::this_thread::sleep_for(kSlowItem);
                    ++done;
                });
                ADD_FAILURE() << "no exception reached the caller";
            } catch (const std::runtime_error& error) {
                EXPECT_EQ(error.what(), "item " + std::to_string(failing));
            }
            // Those claimed before the failure and about one more on each
            // other thread (with room for a thread held up by a busy
            // machine), not the rest.
            EXPECT_LT(done, kItems / 4) << threads << " threads";
        }
    }
}

TEST(WorkerLoop, AWorkerThatThrowsOnAHelperThreadDoesNotEndTheProgram) {
    std::atomic<int> started{0};
    auto worker = [&] {
        if (started++ > 0) throw std::length_error("on a helper");
    };
    EXPECT_THROW(queuecalc::runOnThreads(3, worker), std::length_error);
}

TEST(WorkerLoop, ABodyThatStopsTheLoopEndsItWithoutAnException) {
    queuecalc::ClaimedWork work(kItems, 1);
    std::atomic<std::size_t> done{0};
    work.run(2, [&](std::size_t item, std::size_t) {
        if (item == 5) work.stop();
        std::this_thread::sleep_for(kSlowItem);
        ++done;
    });
    EXPECT_TRUE(work.stopped());
    EXPECT_LT(done, kItems / 4);
}

TEST(WorkerLoop, AStopRequestEndsItWithStoppedUnlessEveryItemWasDone) {
    const struct {
        std::size_t threads, requestAt;  // the item whose body makes the request; kItems: before the loop
        bool stopped;
    } cases[] = {{1, kItems, true}, {1, 5, true}, {2, 5, true}, {4, 0, true}, {2, kItems - 1, false}};
    for (const auto& c : cases) {
        queuecalc::StopRequest request;
        if (c.requestAt == kItems) request.request();
        std::atomic<std::size_t> done{0};
        bool stopped = false;
        try {
            queuecalc::forEachClaimed(c.threads, kItems, 1, [&](std::size_t item, std::size_t) {
                if (item == c.requestAt) request.request();
                if (c.stopped) std::this_thread::sleep_for(kSlowItem);
                ++done;
            }, &request);
        } catch (const queuecalc::Stopped&) {
            stopped = true;
        }
        EXPECT_EQ(stopped, c.stopped) << c.threads << " threads, request at " << c.requestAt;
        if (c.stopped) EXPECT_LT(done, kItems / 4) << c.threads << " threads, request at " << c.requestAt;
        else EXPECT_EQ(done, kItems);
    }
}
