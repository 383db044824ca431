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

// Rows that may wait for an earlier one, per worker thread: enough to keep
// every thread busy behind a slow row, few enough to keep memory flat.
constexpr std::size_t kWindowRowsPerThread = 4;

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
    StaffingProblem problem;
    problem.field = plan.staffed;
    problem.smallest = plan.staffed == StaffedField::Servers ? 1 : 0;
    problem.largest = plan.staffLimit > 0 ? plan.staffLimit : defaultStaffingLimit(plan.staffed, input);
    problem.targets = plan.targets;
    for (const Target& t : plan.targets) problem.targetColumns.push_back(targetColumn(t, plan.evaluation.moments));
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

    const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(plan.jobs, total));
    const std::size_t window = kWindowRowsPerThread * threads;
    struct Slot {
        bool ready = false;
        bool failed = false;
        std::string record;
    };
    std::vector<Slot> slots(window);  // row i waits in slot i % window
    std::mutex mutex;
    std::condition_variable rowReady, slotFree;
    std::size_t nextToCompute = 0;  // counted from range.first
    std::size_t written = 0;

    const auto work = [&] {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                slotFree.wait(lock, [&] { return nextToCompute >= total || nextToCompute < written + window; });
                if (nextToCompute >= total) return;
                i = nextToCompute++;
            }
            bool failed = false;
            std::string record;
            try {
                record = scenarioRecord(plan, binomials, range.first + i, failed);
            } catch (const std::bad_alloc&) {  // even the record could not be formed
                failed = true;
                record = std::string(fieldCount - 1, ',') + kOutOfMemory + "\r\n";
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                Slot& slot = slots[i % window];
                slot.record = std::move(record);
                slot.failed = failed;
                slot.ready = true;
            }
            rowReady.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);

    SweepSummary summary;
    for (std::size_t i = 0; i < total; ++i) {
        std::string record;
        {
            std::unique_lock<std::mutex> lock(mutex);
            Slot& slot = slots[i % window];
            rowReady.wait(lock, [&] { return slot.ready; });
            record.swap(slot.record);
            slot.ready = false;
            summary.failedRows += slot.failed ? 1 : 0;
            ++written;
        }
        slotFree.notify_all();
        out << record;
        ++summary.rows;
        if (progress) progress(summary.rows, total);
    }
    for (std::thread& worker : workers) worker.join();
    return summary;
}

}  // namespace sweep
}  // namespace queuecalc
