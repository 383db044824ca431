#include "analysis/plan_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "core/failure.h"
#include "core/thread_pool.h"

namespace queuecalc {

namespace {

// Consecutive rows a worker computes at a time.
constexpr std::size_t kRowsPerChunk = 16;
// Chunks that may wait for an earlier one, per worker thread: enough to keep
// every thread busy behind a slow chunk, few enough to keep memory flat.
constexpr std::size_t kWindowChunksPerThread = 4;
// The shortest time between two progress calls from the workers between
// rows: the progress line's own update interval.
constexpr std::chrono::milliseconds kProgressTick{100};

const char* const kOutOfMemory = "Unable to allocate the memory for this scenario.";

void evaluateRow(const SweepPlan& plan, BinomialRows& rows, RowResult& row) {
    if (!plan.staff) {
        row.evaluation = evaluateScenario(row.input, plan.evaluation, rows);
        row.findings = row.evaluation->findings;
        return;
    }
    StaffingProblem problem = makeStaffingProblem(plan.staffed, plan.targets, plan.staffLimit, row.input);
    problem.stop = plan.stop;
    StaffingResult result =
        findStaffing(problem, row.input, scenarioEvaluator(plan.staffed, row.input, plan.evaluation, rows));
    if (!result.found) {
        row.findings = std::move(result.findings);
        return;
    }
    row.staffedValue = result.value;
    row.evaluation = std::move(result.evaluation);
    row.findings = row.evaluation->findings;
}

// The same problem of the input: same kind and, for input values, the
// same problem and place.
bool sameInputProblem(const Finding& a, const Finding& b) {
    return a.kind == b.kind && a.input && b.input && a.input->problem == b.input->problem && a.field == b.field;
}

}  // namespace

RowResult computeRow(const SweepPlan& plan, BinomialRows& rows, std::size_t index) {
    RowResult row;
    row.index = index;
    row.input = plan.base;
    plan.grid.apply(index, row.input);
    try {
        evaluateRow(plan, rows, row);
    } catch (const Stopped&) {
        throw;  // no row: the plan ends
    } catch (const RunFailure& failure) {
        row.findings = {rejectedScenario(failure.what())};
    } catch (const std::bad_alloc&) {
        row.findings = {rejectedScenario(kOutOfMemory)};
    } catch (const std::length_error&) {
        row.findings = {rejectedScenario(kOutOfMemory)};
    } catch (const std::exception& error) {  // none expected; the row says what it was
        row.findings = {rejectedScenario(error.what())};
    }
    if (!row.evaluation) row.staffedValue.reset();
    return row;
}

PlanSummary runPlan(const SweepPlan& plan, BinomialRows& rows, const RowFormatter& format, std::ostream& out,
                    const PlanProgress& progress) {
    const std::pair<std::size_t, std::size_t> range = shardRange(plan.grid.size(), plan.shard);
    const std::size_t total = range.second - range.first;

    // Rows go from the workers to the stream in chunks of consecutive rows,
    // so that the threads meet once per chunk, not once per row (a typical
    // row takes some 20 microseconds, about what a wake-up costs). Whichever
    // thread finishes a chunk writes every chunk that is next in order, so
    // no thread waits for a writer, and one thread alone does it all.
    const std::size_t chunks = (total + kRowsPerChunk - 1) / kRowsPerChunk;
    const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(plan.jobs, chunks));
    const std::size_t window = kWindowChunksPerThread * threads;
    struct Slot {
        bool ready = false;
        std::string text;
        PlanSummary summary;  // of its rows
    };
    std::vector<Slot> slots(window);  // chunk c waits in slot c % window
    std::mutex mutex;
    std::condition_variable slotFree;
    std::size_t written = 0;
    bool writing = false;
    bool halted = false;  // nobody takes the rows, or a worker failed: no chunk is computed any more
    PlanSummary summary;

    // Progress: one call at a time; between rows a worker makes one when
    // kProgressTick has passed since the last (reading the clock costs well
    // under 1 % of the cheapest row) and another thread is not making one.
    std::mutex progressMutex;
    std::atomic<std::size_t> rowsWritten{0};
    using TickClock = std::chrono::steady_clock;
    std::atomic<TickClock::rep> nextTick{0};
    const auto tick = [&] {
        const TickClock::rep now = TickClock::now().time_since_epoch().count();
        if (now < nextTick.load(std::memory_order_relaxed) || !progressMutex.try_lock()) return;
        const std::lock_guard<std::mutex> held(progressMutex, std::adopt_lock);
        nextTick.store(now + std::chrono::duration_cast<TickClock::duration>(kProgressTick).count(),
                       std::memory_order_relaxed);
        progress(rowsWritten.load(std::memory_order_relaxed), total);
    };

    const auto add = [](PlanSummary& into, const PlanSummary& part) {
        into.rows += part.rows;
        into.rowsWithoutValues += part.rowsWithoutValues;
        into.rowsFailingChecks += part.rowsFailingChecks;
        into.answersThroughLoss += part.answersThroughLoss;
        for (const PlanInputFinding& f : part.inputFindings) {
            const auto known = std::find_if(into.inputFindings.begin(), into.inputFindings.end(),
                                            [&](const PlanInputFinding& g) { return sameInputProblem(g.finding, f.finding); });
            if (known != into.inputFindings.end()) {
                known->rows += f.rows;
            } else {
                into.inputFindings.push_back(f);
            }
        }
    };

    ClaimedWork work(chunks, 1, plan.stop);
    // Chunks are claimed in order, so the one `written` waits for is always
    // in hand of a thread that does not wait.
    const auto compute = [&](std::size_t c, std::size_t& chunkText) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            slotFree.wait(lock, [&] { return halted || c < written + window; });
            if (halted) return;
        }
        Slot done;
        done.text.reserve(chunkText + chunkText / 4);
        const std::size_t first = range.first + c * kRowsPerChunk;
        const std::size_t last = std::min(range.second, first + kRowsPerChunk);
        for (std::size_t index = first; index < last; ++index) {
            throwIfStopped(plan.stop);
            if (progress && index > first) tick();
            const RowResult row = computeRow(plan, rows, index);
            try {
                format(row, done.text);
            } catch (const std::bad_alloc&) {  // even the text could not be formed
            }
            PlanSummary one;
            one.rows = 1;
            one.rowsWithoutValues = row.evaluation ? 0 : 1;
            one.rowsFailingChecks = row.evaluation && row.failsChecks() ? 1 : 0;
            one.answersThroughLoss =
                row.staffedValue && row.evaluation && row.evaluation->measures.lossProb > kLossWarning ? 1 : 0;
            for (const Finding& f : row.findings)
                if (f.kind == FindingKind::InputValue) one.inputFindings.push_back({f, index - range.first, 1});
            add(done.summary, one);
        }
        done.ready = true;
        chunkText = done.text.size();
        std::unique_lock<std::mutex> lock(mutex);
        slots[c % window] = std::move(done);
        if (writing) return;
        writing = true;
        while (!halted && written < chunks && slots[written % window].ready) {
            Slot next = std::move(slots[written % window]);
            slots[written % window].ready = false;
            lock.unlock();
            out << next.text;
            add(summary, next.summary);
            rowsWritten.store(summary.rows, std::memory_order_relaxed);
            if (progress) {
                const std::lock_guard<std::mutex> held(progressMutex);
                progress(summary.rows, total);
            }
            lock.lock();
            ++written;
            // Nobody takes the rows (a closed pipe, a full disk): none
            // is computed any more.
            if (!out) {
                halted = true;
                work.stop();
            }
            slotFree.notify_all();
        }
        writing = false;
    };
    thread_local std::size_t chunkText = 0;  // bytes of this thread's last chunk: the next one's room
    work.run(threads, [&](std::size_t c, std::size_t) {
        try {
            compute(c, chunkText);
        } catch (...) {
            // The others stop waiting for this chunk; the loop rethrows.
            const std::lock_guard<std::mutex> lock(mutex);
            halted = true;
            writing = false;
            slotFree.notify_all();
            throw;
        }
    });
    return summary;
}

}  // namespace queuecalc
