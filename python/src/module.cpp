// queuecalc._queuecalc: the library's entry points for the Python package
// (python/queuecalc). A client like the programs: it fills a ModelInput by
// field name, calls the library, and hands back values and findings; the
// package turns findings into Python warnings. Every computation runs with
// the GIL released; nothing here keeps state between calls, so calls from
// several threads are independent.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "app/run.h"
#include "app/standard_error.h"
#include "core/failure.h"
#include "engine/input_warnings.h"
#include "engine/queue_model.h"
#include "input/binomial_row.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "report/number_format.h"
#include "report/results_file.h"
#include "sweep/result_columns.h"
#include "sweep/scenario.h"
#include "sweep/staffing.h"
#include "sweep/usage_error.h"

namespace py = pybind11;
using namespace queuecalc;

namespace {

const char* const kOutOfMemory = "Unable to allocate the memory for this scenario.";

// The Python exception that carries the programs' messages; set at import.
PyObject* inputError = nullptr;

// A ModelInput from field values by name (the names of input/model_fields.h);
// fields not given keep the defaults of a scenario without a results file.
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
        if (!field) throw std::invalid_argument("unknown field " + name);
        setModelField(input, *field, value);
    }
    return input;
}

sweep::MethodChoice methodChoice(const std::string& method) {
    if (method == "euler") return sweep::MethodChoice::Euler;
    if (method == "talbot") return sweep::MethodChoice::Talbot;
    throw RunFailure("Unknown method \"" + method + "\": choose \"euler\" or \"talbot\".");
}

using Findings = std::vector<std::pair<std::string, std::string>>;  // (kind, text)

// The input warnings about the centre itself (the binomial rows are exact).
Findings inputFindings(ModelInput input) {
    input.setInversionMethod(1);
    Findings findings;
    for (const std::string& text : inputWarnings(input, BinomialTable())) findings.emplace_back("input", text);
    return findings;
}

// The result columns (names, values) of one scenario at thresholds `moments`.
py::tuple evaluate(const std::map<std::string, double>& fields, const std::vector<double>& moments,
                   const std::string& method) {
    const ModelInput input = inputFromFields(fields);
    sweep::EvaluationSettings settings;
    settings.moments = moments;
    settings.method = methodChoice(method);
    std::vector<double> values;
    Findings findings;
    {
        py::gil_scoped_release release;
        sweep::BinomialRows rows;
        values = sweep::evaluateScenario(input, settings, rows);
        findings = inputFindings(input);
    }
    return py::make_tuple(sweep::resultColumnNames(moments), values, findings);
}

py::array_t<double> toArray(const std::vector<double>& values) {
    py::array_t<double> array(values.size());
    std::copy(values.begin(), values.end(), array.mutable_data());
    return array;
}

// P(0 < W <= t, S) and P(W <= t | S) at `moments`.
py::tuple waitingTime(const std::map<std::string, double>& fields, const std::vector<double>& moments,
                      const std::string& method) {
    const ModelInput input = inputFromFields(fields);
    const sweep::MethodChoice choice = methodChoice(method);
    WaitingTimeCurves curves;
    Findings findings;
    {
        py::gil_scoped_release release;
        validateModelInput(input);
        const QueueModel model = buildQueueModel(input);
        const bool euler = choice == sweep::MethodChoice::Euler;
        sweep::BinomialRows rows;
        curves = evaluateWaitingTime(model, euler ? InversionAlgorithm::Euler : InversionAlgorithm::Talbot,
                                     input.inversionTerms, moments,
                                     euler ? *rows.row(input.inversionTerms) : std::vector<double>());
        findings = inputFindings(input);
    }
    return py::make_tuple(toArray(curves.joint), toArray(curves.conditional), py::none(), findings);
}

// The thresholds the targets name, each once, in the order of the targets.
std::vector<double> targetMoments(const std::vector<sweep::Target>& targets) {
    std::vector<double> moments;
    for (const sweep::Target& t : targets)
        if (t.tau > 0 && std::find(moments.begin(), moments.end(), t.tau) == moments.end()) moments.push_back(t.tau);
    return moments;
}

// The smallest servers (or waiting places) count that meets every target:
// (count, names, values, findings); RunFailure when none up to the limit does.
py::tuple staff(const std::map<std::string, double>& fields, const std::vector<std::string>& targetTexts,
                const std::string& staffedName, const std::string& method, int limit) {
    const ModelInput input = inputFromFields(fields);
    std::vector<sweep::Target> targets;
    for (const std::string& text : targetTexts) targets.push_back(sweep::parseTarget(text));
    const sweep::StaffedField staffed =
        staffedName == "servers" ? sweep::StaffedField::Servers : sweep::StaffedField::WaitingPlaces;
    sweep::EvaluationSettings settings;
    settings.moments = targetMoments(targets);
    settings.method = methodChoice(method);
    sweep::StaffingResult result;
    sweep::StaffingProblem problem;
    Findings findings;
    {
        py::gil_scoped_release release;
        problem = sweep::makeStaffingProblem(staffed, targets, settings.moments, limit, input);
        const ModelField& field = *findModelField(staffedName);
        sweep::BinomialRows rows;
        result = sweep::findStaffing(problem, input, [&](int value, bool withCurves) {
            ModelInput changed = input;
            setModelField(changed, field, value);
            return sweep::evaluateScenario(changed, settings, rows, withCurves);
        });
        findings = inputFindings(input);
    }
    if (!result.found)
        throw RunFailure(std::string("No number of ") +
                         (staffed == sweep::StaffedField::Servers ? "agents" : "waiting places") + " from " +
                         std::to_string(problem.smallest) + " to " + std::to_string(problem.largest) +
                         " meets every target.");
    return py::make_tuple(result.value, sweep::resultColumnNames(settings.moments), result.values, findings);
}

// One dimension of a grid: the fields it sets and, per point, their values.
struct Dimension {
    std::vector<std::string> fields;
    std::vector<std::vector<double>> points;
};

// Every scenario of the full grid of `dimensions` (the last varying fastest)
// over the base fields, on `jobs` threads: (names, values [rows x columns],
// notes). A rejected scenario has NaN values and the programs' message as
// its note.
py::tuple sweepGrid(const std::map<std::string, double>& fields, const std::vector<Dimension>& dimensions,
                    const std::vector<double>& moments, const std::string& method, unsigned jobs) {
    const ModelInput base = inputFromFields(fields);
    sweep::EvaluationSettings settings;
    settings.moments = moments;
    settings.method = methodChoice(method);
    std::vector<std::vector<const ModelField*>> dimensionFields;
    std::size_t rows = 1;
    for (const Dimension& d : dimensions) {
        std::vector<const ModelField*> known;
        for (const std::string& name : d.fields) {
            const ModelField* field = findModelField(name);
            if (!field) throw std::invalid_argument("unknown field " + name);
            known.push_back(field);
        }
        for (const std::vector<double>& point : d.points)
            if (point.size() != known.size()) throw std::invalid_argument("a grid point needs one value per field");
        dimensionFields.push_back(std::move(known));
        rows *= d.points.size();
    }
    const std::vector<std::string> names = sweep::resultColumnNames(moments);
    const std::size_t columns = names.size();
    py::array_t<double> values({rows, columns});
    double* out = values.mutable_data();
    std::vector<std::string> notes(rows);
    {
        py::gil_scoped_release release;
        sweep::BinomialRows binomials;
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t row; (row = next++) < rows;) {
                ModelInput input = base;
                std::size_t rest = row;
                for (std::size_t d = dimensions.size(); d-- > 0;) {
                    const std::vector<double>& point = dimensions[d].points[rest % dimensions[d].points.size()];
                    rest /= dimensions[d].points.size();
                    for (std::size_t f = 0; f < point.size(); ++f) setModelField(input, *dimensionFields[d][f], point[f]);
                }
                std::vector<double> result;
                try {
                    result = sweep::evaluateScenario(input, settings, binomials);
                } catch (const RunFailure& failure) {
                    notes[row] = failure.what();
                } catch (const std::bad_alloc&) {
                    notes[row] = kOutOfMemory;
                } catch (const std::length_error&) {
                    notes[row] = kOutOfMemory;
                } catch (const std::exception& error) {
                    notes[row] = error.what();
                }
                if (result.empty()) result.assign(columns, std::numeric_limits<double>::quiet_NaN());
                std::copy(result.begin(), result.end(), out + row * columns);
            }
        };
        const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(jobs, rows));
        std::vector<std::thread> workers;
        for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(work);
        work();
        for (std::thread& worker : workers) worker.join();
    }
    return py::make_tuple(names, values, notes);
}

// The warnings of the calculator's run as findings: those written before the
// results file are about the input, those after it about the curves.
class CollectedWarnings : public ErrorStream {
public:
    void write(const std::string& text) override {
        const std::string prefix = "Warning: ";
        std::string warning = text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
        if (!warning.empty() && warning.back() == '\n') warning.pop_back();
        findings.emplace_back(resultsWritten ? "accuracy" : "input", warning);
    }
    bool isTerminal() const override { return false; }
    void avoidFile(const std::string&) override { resultsWritten = true; }

    Findings findings;
    bool resultsWritten = false;
};

// The calculator's run in `directory`, as the program runs it (the same
// call), with the console discarded: (the bytes of OUTPUT.CSV, findings).
// A failed run throws RunFailure with the program's message.
py::tuple runFolder(const std::string& directory) {
    std::string results;
    CollectedWarnings warnings;
    {
        py::gil_scoped_release release;
        std::istringstream in;
        std::ostringstream console;
        if (runProgram(directory, in, console, warnings) != 0) {
            // The failure routine's "\n", message, "\n" and prompt end the console.
            std::string text = console.str();
            text = text.substr(0, text.rfind('\n'));
            throw RunFailure(text.substr(text.rfind('\n') + 1));
        }
        const std::string path = directory.empty() || directory.back() == '/' ? directory + kResultsFileName
                                                                               : directory + "/" + kResultsFileName;
        std::ifstream file(path, std::ios::binary);
        results.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
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
        } catch (const RunFailure& failure) {
            PyErr_SetString(inputError, failure.what());
        } catch (const std::bad_alloc&) {
            PyErr_SetString(inputError, kOutOfMemory);
        } catch (const std::length_error&) {
            PyErr_SetString(inputError, kOutOfMemory);
        } catch (const sweep::UsageError& error) {
            PyErr_SetString(inputError, error.what());
        } catch (const std::invalid_argument& error) {
            PyErr_SetString(inputError, error.what());
        }
    });

    m.def("evaluate", &evaluate, py::arg("fields"), py::arg("moments"), py::arg("method"),
          "(names, values, findings) of one scenario's result columns at the thresholds.");
    m.def("waiting_time", &waitingTime, py::arg("fields"), py::arg("moments"), py::arg("method"),
          "(joint, conditional, bound or None, findings) at the moments.");
    py::class_<Dimension>(m, "Dimension", "One dimension of a grid: fields and their values per point.")
        .def(py::init<std::vector<std::string>, std::vector<std::vector<double>>>(), py::arg("fields"),
             py::arg("points"));
    m.def("staff", &staff, py::arg("fields"), py::arg("targets"), py::arg("field"), py::arg("method"),
          py::arg("limit"), "(count, names, values, findings) of the smallest count meeting every target.");
    m.def("sweep", &sweepGrid, py::arg("fields"), py::arg("dimensions"), py::arg("moments"), py::arg("method"),
          py::arg("jobs"), "(names, values [rows x columns], notes) of every scenario of the grid.");
    m.def("evaluate_findings", [](const std::map<std::string, double>& fields) {
        return inputFindings(inputFromFields(fields)); }, py::arg("fields"),
          "The input findings about one centre.");
    m.def("run_folder", &runFolder, py::arg("directory"),
          "(bytes of OUTPUT.CSV, findings) of the calculator's run in the folder.");
    m.def("format_number", py::overload_cast<double>(&formatNumber), py::arg("value"),
          "The results file's form of a number: six significant digits, three-digit exponent.");
}
