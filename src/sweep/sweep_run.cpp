#include "sweep/sweep_run.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "core/failure.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "sweep/csv.h"

namespace queuecalc {
namespace sweep {

namespace {

// Consecutive rows a worker computes at a time.
constexpr std::size_t kRowsPerChunk = 16;
// Chunks that may wait for an earlier one, per worker thread: enough to keep
// every thread busy behind a slow chunk, few enough to keep memory flat.
constexpr std::size_t kWindowChunksPerThread = 4;

const char* const kOutOfMemory = "Unable to allocate the memory for this scenario.";

const ModelField& staffedField(StaffedField field) {
    return *findModelField(field == StaffedField::Servers ? "servers" : "waitingPlaces");
}

std::string formatFieldValue(const ModelField& field, double value) {
    if (field.type == FieldType::Whole) return std::to_string(static_cast<long long>(value));
    return formatValue(value);
}

std::vector<double> evaluateRow(const SweepPlan& plan, BinomialRows& binomials, const ModelInput& input,
                                int& staffedValue, std::string& note) {
    if (!plan.staff) return evaluateScenario(input, plan.evaluation, binomials);
    const StaffingProblem problem =
        makeStaffingProblem(plan.staffed, plan.targets, plan.evaluation.moments, plan.staffLimit, input);
    const ModelField& field = staffedField(plan.staffed);
    const StaffingEvaluator evaluate = [&](int value, bool withCurves) {
        ModelInput staffed = input;
        setModelField(staffed, field, value);
        return evaluateScenario(staffed, plan.evaluation, binomials, withCurves);
    };
    StaffingResult result = findStaffing(problem, input, evaluate);
    if (!result.found) {
        note = std::string("No number of ") + (plan.staffed == StaffedField::Servers ? "agents" : "waiting places") +
               " from " + std::to_string(problem.smallest) + " to " + std::to_string(problem.largest) +
               " meets every target.";
        return {};
    }
    staffedValue = result.value;
    return std::move(result.values);
}

}  // namespace

std::vector<std::string> headerNames(const SweepPlan& plan) {
    std::vector<std::string> names;
    for (const FieldValues& d : plan.grid.dimensions()) names.push_back(d.field()->name);
    if (plan.staff) names.push_back(staffedField(plan.staffed).name);
    for (const std::string& name : resultColumnNames(plan.evaluation.moments)) names.push_back(name);
    names.push_back("note");
    return names;
}

std::string scenarioRecord(const SweepPlan& plan, BinomialRows& binomials, std::size_t index, bool& failed) {
    ModelInput input = plan.base;
    plan.grid.apply(index, input);
    std::vector<std::string> fields;
    for (const FieldValues& d : plan.grid.dimensions())
        fields.push_back(formatFieldValue(*d.field(), modelFieldValue(input, *d.field())));

    std::vector<double> values;
    int staffedValue = 0;
    std::string note;
    try {
        values = evaluateRow(plan, binomials, input, staffedValue, note);
    } catch (const RunFailure& failure) {
        note = failure.what();
    } catch (const std::bad_alloc&) {
        note = kOutOfMemory;
    } catch (const std::length_error&) {
        note = kOutOfMemory;
    } catch (const std::exception& error) {  // none expected; the row says what it was
        note = error.what();
    }
    failed = values.empty();
    if (plan.staff) fields.push_back(failed ? std::string() : std::to_string(staffedValue));
    const std::size_t columns = resultColumnNames(plan.evaluation.moments).size();
    for (std::size_t c = 0; c < columns; ++c) fields.push_back(failed ? std::string() : formatValue(values[c]));
    fields.push_back(note);
    return csvRecord(fields);
}

SweepSummary runSweep(const SweepPlan& plan, BinomialRows& binomials, std::ostream& out,
                      const SweepProgress& progress) {
    const std::pair<std::size_t, std::size_t> range = shardRange(plan.grid.size(), plan.shard);
    const std::size_t total = range.second - range.first;
    const std::vector<std::string> names = headerNames(plan);
    if (plan.header) out << csvRecord(names);
    const std::size_t fieldCount = names.size();

    // Rows go from the workers to the writer in chunks of consecutive rows,
    // so that the threads meet once per chunk, not once per row (a typical
    // row takes some 20 microseconds, about what a wake-up costs).
    const std::size_t chunks = (total + kRowsPerChunk - 1) / kRowsPerChunk;
    const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(plan.jobs, chunks));
    const std::size_t window = kWindowChunksPerThread * threads;
    struct Slot {
        bool ready = false;
        std::size_t failed = 0;
        std::size_t rows = 0;
        std::string records;
    };
    std::vector<Slot> slots(window);  // chunk c waits in slot c % window
    std::mutex mutex;
    std::condition_variable chunkReady, slotFree;
    std::size_t nextToCompute = 0;
    std::size_t written = 0;

    const auto work = [&] {
        for (;;) {
            std::size_t c;
            {
                std::unique_lock<std::mutex> lock(mutex);
                slotFree.wait(lock, [&] { return nextToCompute >= chunks || nextToCompute < written + window; });
                if (nextToCompute >= chunks) return;
                c = nextToCompute++;
            }
            Slot done;
            const std::size_t first = range.first + c * kRowsPerChunk;
            const std::size_t last = std::min(range.second, first + kRowsPerChunk);
            for (std::size_t index = first; index < last; ++index) {
                bool failed = false;
                try {
                    done.records += scenarioRecord(plan, binomials, index, failed);
                } catch (const std::bad_alloc&) {  // even the record could not be formed
                    failed = true;
                    done.records += std::string(fieldCount - 1, ',') + kOutOfMemory + "\r\n";
                }
                done.failed += failed ? 1 : 0;
                ++done.rows;
            }
            done.ready = true;
            {
                std::lock_guard<std::mutex> lock(mutex);
                slots[c % window] = std::move(done);
            }
            chunkReady.notify_one();
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);

    SweepSummary summary;
    for (std::size_t c = 0; c < chunks; ++c) {
        Slot done;
        {
            std::unique_lock<std::mutex> lock(mutex);
            Slot& slot = slots[c % window];
            chunkReady.wait(lock, [&] { return slot.ready; });
            done = std::move(slot);
            slot.ready = false;
            ++written;
        }
        slotFree.notify_all();
        out << done.records;
        summary.rows += done.rows;
        summary.failedRows += done.failed;
        if (!out) {  // nobody takes the rows (a closed pipe): the workers stop after their chunk
            {
                std::lock_guard<std::mutex> lock(mutex);
                nextToCompute = chunks;
            }
            slotFree.notify_all();
            break;
        }
        if (progress) progress(summary.rows, total);
    }
    for (std::thread& worker : workers) worker.join();
    return summary;
}

}  // namespace sweep
}  // namespace queuecalc
