// queuecalc._queuecalc: the library's entry points for the Python package
// (python/queuecalc). A client like the programs: it fills a ModelInput by
// field name, calls the analysis layer's checked evaluation (of the model the
// keyword `model` names, decoded here), staffing search, day plan and the
// calculator's run, and hands back values and findings; the package
// turns findings into Python warnings. Every computation runs with the GIL
// released; nothing here keeps state between calls, so calls from several
// threads are independent. The long ones (a staffing search, a grid, a day
// plan) run on a thread of their own while the caller's thread watches for
// Ctrl-C, which stops them between scenarios.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "analysis/day_plan.h"
#include "analysis/day_plan_settings.h"
#include "analysis/evaluation.h"
#include "analysis/findings.h"
#include "analysis/plan_run.h"
#include "analysis/plan_targets.h"
#include "analysis/staffing.h"
#include "app/run.h"
#include "cli/command_line.h"
#include "cli/grid_options.h"
#include "cli/target_option.h"
#include "core/echo_text.h"
#include "core/failure.h"
#include "core/number_text.h"
#include "core/share_text.h"
#include "core/stop_request.h"
#include "input/forecast.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "io/read_file.h"
#include "io/standard_error.h"
#include "report/finding_text.h"
#include "report/measure_labels.h"
#include "report/number_format.h"
#include "report/plan_report.h"
#include "report/results_file.h"
#include "report/shift_report.h"
#include "schedule/shifts.h"

namespace py = pybind11;
using namespace queuecalc;

namespace {

const char* const kOutOfMemory = "Unable to allocate the memory for this scenario.";

// The Python exception that carries the programs' messages; set at import.
PyObject* inputError = nullptr;

// A ModelInput from field values by name (the names of input/model_fields.h);
// the fields the package does not set are those of a scenario with one
// moment, Euler with 24 terms (where Euler is asked for), and no results
// file.
ModelInput inputFromFields(const std::map<std::string, double>& fields) {
    ModelInput input;
    input.setInversionMethod(-1);
    input.setAbandonType(0);
    input.abandonParam2 = -1;
    input.abandonParam3 = -1;
    input.momentInterval = 1;
    input.maxTime = 1;
    input.inversionTerms = 24;
    for (const auto& [name, value] : fields) {
        const ModelField* field = findModelField(name);
        if (!field) throw UsageError("unknown field " + echoText(name));
        setModelField(input, *field, value);
    }
    return input;
}

WaitingMethod waitingMethod(const std::string& method) {
    if (const std::optional<WaitingMethod> named = waitingMethodNamed(method)) return *named;
    throw RunFailure("Unknown method \"" + method + "\": choose \"exact\", \"euler\" or \"talbot\".");
}

// The model of the keyword `model`, checked against the chain's keywords
// `method` and `terms`: the exact model has neither, as the programs refuse
// --method without --model chain.
QueueModelChoice queueModel(const std::string& model, bool methodGiven, bool termsGiven) {
    const std::optional<QueueModelChoice> named = queueModelNamed(model);
    if (!named)
        throw RunFailure("Unknown model \"" + model +
                         "\": choose model=\"exact\" (the queue itself, each value with a bound of its error) or "
                         "model=\"chain\" (the calculator's birth-and-death approximation).");
    if (*named == QueueModelChoice::Exact && methodGiven)
        throw RunFailure("method chooses how the chain's waiting times are computed; the exact model has no method "
                         "(its values come with their bound): give model=\"chain\" with method");
    if (*named == QueueModelChoice::Exact && termsGiven)
        throw RunFailure("terms sets the terms of the chain's euler and talbot inversions; the exact model has none "
                         "(its values come with their bound): give model=\"chain\" with method and terms");
    return *named;
}

// A finding for Python: ("input" or "accuracy", the programs' words).
using PyFinding = std::pair<std::string, std::string>;

PyFinding pyFinding(const Finding& f) {
    return {f.kind == FindingKind::InputValue ? "input" : "accuracy", findingText(f)};
}

std::vector<PyFinding> pyFindings(const std::vector<Finding>& findings) {
    std::vector<PyFinding> result;
    for (const Finding& f : findings) result.push_back(pyFinding(f));
    return result;
}

// The keywords of every entry point that computes: the model's name, the
// chain's waiting-time method (none: the library's default) and the terms
// of its inversions (none: the fields' inversionTerms, the method's
// default).
struct ModelKeywords {
    std::string model;
    std::optional<std::string> method;
    std::optional<double> terms;  // a whole number, a field's value as the fields hold them
};

// The request at the thresholds for the keywords; their terms go into
// `input`.
EvaluationRequest request(const std::vector<double>& thresholds, const ModelKeywords& keywords, ModelInput& input) {
    EvaluationRequest r;
    r.thresholds = thresholds;
    r.model = queueModel(keywords.model, keywords.method.has_value(), keywords.terms.has_value());
    if (keywords.method) r.method = waitingMethod(*keywords.method);
    if (keywords.terms) setModelField(input, modelField(&ModelInput::inversionTerms), *keywords.terms);
    return r;
}

// How often the caller's thread looks for a signal while a long computation
// runs: well within the second a person waits after Ctrl-C.
constexpr std::chrono::milliseconds kSignalPoll{50};

// Runs work(stop) on a thread of its own; the calling thread, which holds
// the GIL, releases it while it waits and takes it back every kSignalPoll to
// run Python's signal handlers (PyErr_CheckSignals). When a handler raises
// (KeyboardInterrupt on Ctrl-C), the work's StopRequest is made, the work
// ends at its next check (between rows, intervals and the staffing search's
// probes) and the handler's exception is raised here. `work` must not touch
// Python objects. Where no thread can be started, the work runs on the
// calling thread with the GIL released, without the watch.
template <class Work>
auto whileWatchingSignals(Work&& work) -> decltype(work(static_cast<const StopRequest*>(nullptr))) {
    using Result = decltype(work(static_cast<const StopRequest*>(nullptr)));
    StopRequest stop;
    std::packaged_task<Result()> task([&] { return work(&stop); });
    std::future<Result> result = task.get_future();
    std::thread worker;
    try {
        worker = std::thread([&task] { task(); });
    } catch (const std::system_error&) {
        py::gil_scoped_release release;
        task();
    }
    while (worker.joinable()) {
        bool done = false;
        {
            py::gil_scoped_release release;
            done = result.wait_for(kSignalPoll) == std::future_status::ready;
            if (done) worker.join();
        }
        if (done) break;
        if (PyErr_CheckSignals() != 0) {
            stop.request();
            {
                py::gil_scoped_release release;
                worker.join();
            }
            throw py::error_already_set();
        }
    }
    return result.get();
}

py::array_t<double> toArray(const std::vector<double>& values) {
    py::array_t<double> array(values.size());
    std::copy(values.begin(), values.end(), array.mutable_data());
    return array;
}

// One checked evaluation of the scenario `fields` at the thresholds, without
// holding Python's lock.
Evaluation evaluateFields(const std::map<std::string, double>& fields, const std::vector<double>& thresholds,
                          const ModelKeywords& keywords) {
    ModelInput input = inputFromFields(fields);
    const EvaluationRequest r = request(thresholds, keywords, input);
    py::gil_scoped_release release;
    BinomialRows rows;
    return evaluateScenario(input, r, rows);
}

// One scenario's result columns at the thresholds: (names, values, findings).
py::tuple evaluate(const std::map<std::string, double>& fields, const std::vector<double>& thresholds,
                   const std::string& model, const std::optional<std::string>& method,
                   const std::optional<double>& terms) {
    const Evaluation e = evaluateFields(fields, thresholds, {model, method, terms});
    return py::make_tuple(columnLabels(thresholds), columnValues(e), pyFindings(e.findings));
}

// P(W <= t | S) at `moments` (the thresholds of one checked evaluation),
// with the bound of each where the model or method gives one (the exact
// model, the chain's exact method): (values, bound or None, findings).
py::tuple waitingTime(const std::map<std::string, double>& fields, const std::vector<double>& moments,
                      const std::string& model, const std::optional<std::string>& method,
                      const std::optional<double>& terms) {
    const Evaluation e = evaluateFields(fields, moments, {model, method, terms});
    std::vector<double> values, bounds;
    bool bounded = !e.thresholds.empty();
    for (const ThresholdResult& t : e.thresholds) {
        values.push_back(t.conditional);
        bounded = bounded && t.conditionalBound.has_value();
        bounds.push_back(t.conditionalBound.value_or(std::numeric_limits<double>::quiet_NaN()));
    }
    return py::make_tuple(toArray(values), bounded ? py::object(toArray(bounds)) : py::object(py::none()),
                          pyFindings(e.findings));
}

// The smallest servers (or waiting places) count that meets every target:
// (count, names, values, findings); RunFailure with the search's words when
// there is none.
py::tuple staff(const std::map<std::string, double>& fields, const std::vector<std::string>& targetTexts,
                const std::string& staffedName, const std::string& model, const std::optional<std::string>& method,
                const std::optional<double>& terms, int limit) {
    ModelInput input = inputFromFields(fields);
    std::vector<Target> targets;
    for (const std::string& text : targetTexts) targets.push_back(parseTarget(text));
    const StaffedField staffed = staffedName == "servers" ? StaffedField::Servers : StaffedField::WaitingPlaces;
    const EvaluationRequest r = request(targetThresholds(targets), {model, method, terms}, input);
    const StaffingResult result = whileWatchingSignals([&](const StopRequest* stop) {
        BinomialRows rows;
        StaffingProblem problem = makeStaffingProblem(staffed, targets, limit, input);
        problem.stop = stop;
        return findStaffing(problem, input, scenarioEvaluator(staffed, input, r, rows));
    });
    if (!result.found) {
        std::string message;
        for (const Finding& f : result.findings) message += (message.empty() ? "" : " ") + findingNote(f);
        throw RunFailure(message);
    }
    return py::make_tuple(result.value, columnLabels(r.thresholds), columnValues(*result.evaluation),
                          pyFindings(result.evaluation->findings));
}

// A stream that takes every byte and keeps none: where a plan's rows go
// into an array, not a text.
class DiscardingStream : private std::streambuf, public std::ostream {
public:
    DiscardingStream() : std::ostream(this) {}

private:
    int overflow(int c) override { return std::streambuf::traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// One dimension of a grid: the fields it sets and, per point, their values
// (a patience model sets three fields at once).
struct Dimension {
    std::vector<std::string> fields;
    std::vector<std::vector<double>> points;
};

// Every scenario of the full grid of `dimensions` (the last varying fastest)
// over the base fields, run as the sweep runs its grid (runPlan, on `jobs`
// threads): (names, values [rows x columns], notes, findings). A row
// without values has NaN values and its note says why, as in the sweep's
// table; the findings are the input findings, each once, and the counts of
// rejected rows and of rows whose checks fail.
py::tuple sweepGrid(const std::map<std::string, double>& fields, const std::vector<Dimension>& dimensions,
                    const std::vector<double>& thresholds, const std::string& model,
                    const std::optional<std::string>& method, const std::optional<double>& terms, unsigned jobs) {
    SweepPlan plan;
    plan.base = inputFromFields(fields);
    plan.evaluation = request(thresholds, {model, method, terms}, plan.base);
    plan.jobs = std::max(1u, jobs);
    std::vector<ScenarioGrid::Tied> grid;
    for (const Dimension& d : dimensions) {
        ScenarioGrid::Tied tied;
        for (std::size_t f = 0; f < d.fields.size(); ++f) {
            const ModelField* field = findModelField(d.fields[f]);
            if (!field) throw UsageError("unknown field " + echoText(d.fields[f]));
            std::vector<double> values;
            for (const std::vector<double>& point : d.points) {
                if (point.size() != d.fields.size()) throw UsageError("a grid point needs one value per field");
                values.push_back(point[f]);
            }
            tied.push_back(FieldValues::list(*field, std::move(values)));
        }
        grid.push_back(std::move(tied));
    }
    plan.grid = ScenarioGrid(std::move(grid));
    const std::size_t rows = plan.grid.size();
    const std::vector<std::string> names = columnLabels(thresholds);
    const std::size_t columns = names.size();
    py::array_t<double> values({rows, columns});
    double* out = values.mutable_data();
    std::vector<std::string> notes(rows);
    std::vector<PyFinding> findings;
    whileWatchingSignals([&](const StopRequest* stop) {
        plan.stop = stop;
        BinomialRows binomials;
        // Each row into its place of the array; the plan's text is empty.
        const RowFormatter place = [&](const RowResult& row, std::string&) {
            const std::vector<double> v = row.evaluation ? columnValues(*row.evaluation)
                                                         : std::vector<double>(columns, std::numeric_limits<double>::quiet_NaN());
            std::copy(v.begin(), v.end(), out + row.index * columns);
            notes[row.index] = rowNote(row.findings);
        };
        DiscardingStream nowhere;
        const PlanSummary summary = runPlan(plan, binomials, place, nowhere);
        for (const PlanInputFinding& f : summary.inputFindings) findings.push_back(pyFinding(f.finding));
        const auto count = [&](std::size_t n) { return std::to_string(n) + " of " + std::to_string(rows); };
        if (summary.rowsWithoutValues > 0)
            findings.emplace_back("input", count(summary.rowsWithoutValues) + " scenarios are rejected; their note says why.");
        if (summary.rowsFailingChecks > 0)
            findings.emplace_back("accuracy", count(summary.rowsFailingChecks) +
                                                  " scenarios have no values or values that fail the checks; "
                                                  "their note says why.");
    });
    return py::make_tuple(names, values, notes, findings);
}

// The values of plan()'s keywords, each refused in words that name the
// keyword. A share is a number (80, 0.8) or a text ("80%"), read as
// readShare reads it.
using ShareValue = std::variant<double, std::string>;

double shareValue(const std::string& name, const ShareValue& value) {
    if (const std::string* text = std::get_if<std::string>(&value)) return readShareText(name, *text);
    const double number = std::get<double>(value);
    const ShareReading reading = readShare(number);
    if (!reading.share) throw UsageError(name + " " + formatValue(number) + ": " + reading.problem);
    return *reading.share;
}

double positiveValue(const std::string& name, double value, const char* unit) {
    if (!std::isfinite(value) || !(value > 0))
        throw UsageError(name + " " + formatValue(value) + ": expected a number of " + unit + " above 0");
    return value;
}

int wholeValue(const std::string& name, int value, int low, int high) {
    if (value < low || value > high) throw UsageError(name + " " + std::to_string(value) + ": " + wholeNumberExpected(low, high));
    return value;
}

// The target kind of a keyword: its option without the dashes, in snake
// case (max_abandon is --max-abandon).
const PlanTargetKind& targetOfKeyword(const std::string& keyword) {
    for (const PlanTargetKind& kind : planTargetKinds()) {
        if (kind.option == nullptr) continue;
        std::string option = std::string(kind.option).substr(2);
        std::replace(option.begin(), option.end(), '-', '_');
        if (option == keyword) return kind;
    }
    throw UsageError("plan() has no target " + keyword);
}

// What plan()'s keywords ask for (None: not given), as the library's
// request. `sl`: a text as the program's ("80/20", "none"); `targets`: the
// bounds by keyword (max_abandon, max_asa, max_occupancy), each kind of
// analysis/plan_targets.h with an option.
struct PlanKeywords {
    std::optional<std::string> sl;
    std::map<std::string, ShareValue> targets;
    std::optional<ShareValue> shrinkage;
    std::optional<double> intervalMinutes;
    std::optional<std::string> patience;
    std::optional<double> patienceMean;
    std::optional<int> lines;
    std::optional<int> waitingPlaces;
    std::optional<int> maxAgents;
    std::string model;
    std::optional<std::string> method;
    bool fractional = false;
    unsigned jobs = 1;
    std::vector<std::string> compare;
};

PlanRequest planRequest(const PlanKeywords& k) {
    PlanRequest request;
    request.names = {"sl", "interval_minutes", "patience", "patience_mean", "compare"};
    DayPlanSettings& s = request.settings;
    s.model = queueModel(k.model, k.method.has_value(), false);
    if (k.method) s.method = waitingMethod(*k.method);
    if (k.sl) {
        readServiceLevel(request.names.serviceLevel, *k.sl, s);
        request.slGiven = true;
    }
    for (const auto& [keyword, value] : k.targets) {
        const PlanTargetKind& kind = targetOfKeyword(keyword);
        const std::string* text = std::get_if<std::string>(&value);
        targetSetting(kind, s) = kind.unit == TargetUnit::Share ? shareValue(keyword, value)
                                 : text ? readPositive(keyword, *text, "seconds")
                                        : positiveValue(keyword, std::get<double>(value), "seconds");
    }
    if (k.shrinkage) {
        s.shrinkage = shareValue("shrinkage", *k.shrinkage);
        if (s.shrinkage >= 1) throw UsageError("shrinkage must be below 100 %");
    }
    if (k.intervalMinutes) {
        s.intervalMinutes = positiveValue(request.names.intervalMinutes, *k.intervalMinutes, "minutes");
        request.intervalGiven = true;
    }
    if (k.patience) readPatienceShape(request.names.patience, *k.patience, s.patience);
    if (k.patienceMean) s.patience.meanSeconds = positiveValue(request.names.patienceMean, *k.patienceMean, "seconds");
    if (k.lines && k.waitingPlaces) throw UsageError("give one of lines and waiting_places");
    if (k.lines) s.room = {WaitingRoom::Kind::Lines, wholeValue("lines", *k.lines, 1, kMaxSystemSize)};
    if (k.waitingPlaces)
        s.room = {WaitingRoom::Kind::Places, wholeValue("waiting_places", *k.waitingPlaces, 0, kMaxWaitingPlaces)};
    if (k.maxAgents) s.agentLimit = wholeValue("max_agents", *k.maxAgents, 1, kMaxSystemSize);
    s.fractional = k.fractional;
    s.jobs = std::max(1u, std::min(k.jobs, kMaxJobs));
    for (const std::string& text : k.compare) request.variants.push_back(readVariant(request.names.compare, text));
    return request;
}

// The day plan of a forecast (its CSV text, named `name` in messages, or the
// file at `name` when the text is empty) with the request of plan()'s
// keywords: (the plan's CSV, the forecast's header, findings, the number of
// interval rows before the totals rows). Values and forecasts the plan
// program refuses raise its message, naming the keyword.
py::tuple dayPlan(const std::string& text, const std::string& name, const PlanKeywords& keywords) {
    const PlanRequest request = planRequest(keywords);
    std::vector<PyFinding> findings;
    std::string csv;
    Forecast forecast;
    whileWatchingSignals([&](const StopRequest* stop) {
        if (text.empty()) {
            forecast = readForecastFile(name, request.format);
        } else {
            std::istringstream in(text);
            forecast = readForecast(in, name, request.format);
        }
        for (const std::string& note : forecast.notes) findings.emplace_back("input", name + ": " + note);
        std::vector<std::string> remarks;
        const DayPlanSettings settings = planSettings(request, forecast, nullptr, &remarks);
        for (const std::string& remark : remarks) findings.emplace_back("input", remark);
        const std::string clash = clashingColumn(forecast, settings);
        if (!clash.empty()) throw RunFailure(name + ": " + clash);
        DayPlanControl control;
        control.stop = stop;
        const DayPlan planned = planDay(forecast, settings, false, control);
        std::ostringstream out;
        std::vector<PlanVariant> variants;
        for (const ForecastVariant& v : request.variants)
            variants.push_back({v.text, planDay(variantForecast(v, forecast, request), settings)});
        writePlanCsv(out, planTable(forecast, settings, planned, variants));
        csv = out.str();
        const std::string loss = lossWarning(planned, "waiting_places or lines");
        if (!loss.empty()) findings.emplace_back("input", loss);
        const std::string unmet = unmetWarning(planned);
        if (!unmet.empty()) findings.emplace_back("accuracy", unmet);
    });
    return py::make_tuple(csv, forecast.header, findings, forecast.intervals.size());
}

// The shifts of least cost over requirements and templates (CSV text, or
// a file's name with empty text): (roster CSV, coverage CSV, cost, bound,
// gap, optimal, note); RunFailure with the program's words when there is
// no roster. CBC's driver keeps state of its own, so one solve runs at a
// time.
py::tuple shiftSchedule(const std::string& requirementsText, const std::string& requirementsName,
                        const std::string& templatesText, const std::string& templatesName, int intervalMinutes,
                        const std::string& column, std::optional<int> maxStarts, double timeLimit) {
    using namespace queuecalc::schedule;
    static std::mutex solving;
    std::string roster, coverage, note;
    Schedule result;
    {
        py::gil_scoped_release release;
        const std::lock_guard<std::mutex> one(solving);
        const Requirements r = readRequirements(
            requirementsText.empty() ? readFileText(requirementsName) : requirementsText, requirementsName,
            intervalMinutes, column);
        const std::vector<ShiftTemplate> t =
            readTemplates(templatesText.empty() ? readFileText(templatesName) : templatesText, templatesName, r);
        ScheduleSettings settings;
        settings.maxStarts = maxStarts;
        if (!(timeLimit > 0)) throw RunFailure("time_limit must be above 0 seconds");
        settings.timeLimitSeconds = timeLimit;
        result = solveSchedule(r, t, settings);
        const std::string failure = scheduleFailure(r, result, settings);
        if (!failure.empty()) throw RunFailure(failure);
        roster = rosterCsv(r, t, result);
        coverage = coverageCsv(r, t, result);
        note = scheduleNote(result, settings);
    }
    return py::make_tuple(roster, coverage, result.cost, result.bound, result.gap,
                          result.status == ScheduleStatus::Optimal, note);
}

// The calculator's warnings as findings: those written before the results
// file are about the input, those after it about the curves and measures.
class CollectedWarnings : public ErrorStream {
public:
    void write(const std::string& text) override {
        const std::string prefix = "Warning: ";
        std::string warning = text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
        if (!warning.empty() && warning.back() == '\n') warning.pop_back();
        findings.emplace_back(resultsPath.empty() ? "input" : "accuracy", warning);
    }
    bool isTerminal() const override { return false; }
    void avoidFile(const std::string& path) override { resultsPath = path; }
    void runFailed(const std::string& message) override { failure = message; }

    std::vector<PyFinding> findings;
    std::string resultsPath;  // set once the results file is written
    std::string failure;      // the message of a failed run
};

// The calculator's run in `directory`: the program's own call, with the
// console discarded: (the bytes of OUTPUT.CSV, findings). A failed run
// throws RunFailure with the program's message.
py::tuple runFolder(const std::string& directory) {
    std::string results;
    CollectedWarnings warnings;
    {
        py::gil_scoped_release release;
        std::istringstream in;
        std::ostringstream console;
        if (runProgram(directory, in, console, warnings) != 0) throw RunFailure(warnings.failure);
        FileText written = readWholeFile(warnings.resultsPath);
        if (!written.text) throw RunFailure(warnings.resultsPath + " " + written.problem);
        results = std::move(*written.text);
    }
    return py::make_tuple(py::bytes(results), warnings.findings);
}

}  // namespace

PYBIND11_MODULE(_queuecalc, m) {
    m.doc() = "The call-centre queue library behind the queuecalc package (private; use queuecalc).";
    inputError = py::module_::import("queuecalc._errors").attr("InputError").ptr();
    Py_INCREF(inputError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const Failure& failure) {  // RunFailure and UsageError alike
            PyErr_SetString(inputError, failure.what());
        } catch (const std::bad_alloc&) {
            PyErr_SetString(inputError, kOutOfMemory);
        } catch (const std::length_error&) {
            PyErr_SetString(inputError, kOutOfMemory);
        } catch (const std::invalid_argument& error) {
            // A precondition of a numerical routine (a moment below 0, ...)
            // that the keywords' checks let through: still the caller's value.
            PyErr_SetString(inputError, error.what());
        }
    });

    py::class_<Dimension>(m, "Dimension", "One dimension of a grid: fields and their values per point.")
        .def(py::init<std::vector<std::string>, std::vector<std::vector<double>>>(), py::arg("fields"),
             py::arg("points"));
    // model: "exact" or "chain"; method: the chain's, None for the library's
    // default; terms: the chain's inversion terms, None for the fields'.
    m.def("evaluate", &evaluate, py::arg("fields"), py::arg("thresholds"), py::arg("model"), py::arg("method"),
          py::arg("terms"), "(names, values, findings) of one scenario's result columns at the thresholds.");
    m.def("waiting_time", &waitingTime, py::arg("fields"), py::arg("moments"), py::arg("model"), py::arg("method"),
          py::arg("terms"), "(P(W <= t | S), bound or None, findings) at the moments.");
    m.def("staff", &staff, py::arg("fields"), py::arg("targets"), py::arg("field"), py::arg("model"),
          py::arg("method"), py::arg("terms"), py::arg("limit"),
          "(count, names, values, findings) of the smallest count meeting every target.");
    m.def("sweep", &sweepGrid, py::arg("fields"), py::arg("dimensions"), py::arg("thresholds"), py::arg("model"),
          py::arg("method"), py::arg("terms"), py::arg("jobs"),
          "(names, values [rows x columns], notes, findings) of every scenario of the grid.");
    m.def("automatic_room",
          [](const std::map<std::string, double>& fields) -> std::optional<int> {
              ModelInput input = inputFromFields(fields);
              return automaticWaitingPlaces(input);
          },
          py::arg("fields"),
          "The fewest waiting places (at most 2000) with P(Loss) below 1e-9 for the fields' agents, as the day "
          "plan's automatic room; None where even 2000 lose more.");
    m.def("plan",
          [](const std::string& text, const std::string& name, const std::optional<std::string>& sl,
             const std::map<std::string, ShareValue>& targets, const std::optional<ShareValue>& shrinkage,
             std::optional<double> intervalMinutes, const std::optional<std::string>& patience,
             std::optional<double> patienceMean, std::optional<int> lines, std::optional<int> waitingPlaces,
             std::optional<int> maxAgents, const std::string& model, const std::optional<std::string>& method,
             bool fractional, unsigned jobs, const std::vector<std::string>& compare) {
              return dayPlan(text, name,
                             {sl, targets, shrinkage, intervalMinutes, patience, patienceMean, lines, waitingPlaces,
                              maxAgents, model, method, fractional, jobs, compare});
          },
          py::arg("text"), py::arg("name"), py::arg("sl"), py::arg("targets"), py::arg("shrinkage"),
          py::arg("interval_minutes"), py::arg("patience"), py::arg("patience_mean"), py::arg("lines"),
          py::arg("waiting_places"), py::arg("max_agents"), py::arg("model"), py::arg("method"), py::arg("fractional"),
          py::arg("jobs"), py::arg("compare"),
          "(plan CSV, forecast header, findings, interval rows) of the day plan of a forecast with plan()'s values.");
    m.def("schedule", &shiftSchedule, py::arg("requirements"), py::arg("requirements_name"), py::arg("templates"),
          py::arg("templates_name"), py::arg("interval_minutes"), py::arg("column"), py::arg("max_starts"),
          py::arg("time_limit"), "(roster CSV, coverage CSV, cost, bound, gap, optimal, note) of the shift schedule.");
    m.attr("MOST_TIME_LIMIT") = schedule::kMostSolveSeconds;
    m.def("run_folder", &runFolder, py::arg("directory"),
          "(bytes of OUTPUT.CSV, findings) of the calculator's run in the folder.");
    m.def("format_number", py::overload_cast<double>(&formatNumber), py::arg("value"),
          "The results file's form of a number: six significant digits, three-digit exponent (2.5e-005).");
}
