// queuecalc._queuecalc: the library's entry points for the Python package
// (python/queuecalc). A client like the programs: it fills a ModelInput by
// field name, calls the library, and hands back values and findings; the
// package turns findings into Python warnings. Every computation runs with
// the GIL released; nothing here keeps state between calls, so calls from
// several threads are independent.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/failure.h"
#include "engine/input_warnings.h"
#include "engine/queue_model.h"
#include "input/binomial_row.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "report/number_format.h"
#include "sweep/result_columns.h"
#include "sweep/scenario.h"
#include "sweep/staffing.h"

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
        } catch (const std::invalid_argument& error) {
            PyErr_SetString(inputError, error.what());
        }
    });

    m.def("evaluate", &evaluate, py::arg("fields"), py::arg("moments"), py::arg("method"),
          "(names, values, findings) of one scenario's result columns at the thresholds.");
    m.def("waiting_time", &waitingTime, py::arg("fields"), py::arg("moments"), py::arg("method"),
          "(joint, conditional, bound or None, findings) at the moments.");
    m.def("format_number", py::overload_cast<double>(&formatNumber), py::arg("value"),
          "The results file's form of a number: six significant digits, three-digit exponent.");
}
