#include "report/sweep_table.h"

#include <charconv>

#include "core/number_text.h"
#include "input/model_fields.h"
#include "report/csv.h"
#include "report/finding_text.h"
#include "report/measure_labels.h"

namespace queuecalc {

namespace {

// The shortest text of a double that reads back the same (formatValue's
// form), or a whole number, appended without a string of its own. Neither
// ever holds a character that CSV quotes.
void appendValue(std::string& out, double value) {
    char text[64];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    out.append(text, end.ptr);
}

void appendWhole(std::string& out, long long value) {
    char text[24];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    out.append(text, end.ptr);
}

void appendField(std::string& out, const ModelField& field, double value) {
    if (field.type == FieldType::Whole) {
        appendWhole(out, static_cast<long long>(value));
    } else {
        appendValue(out, value);
    }
}

}  // namespace

std::vector<std::string> sweepHeader(const SweepPlan& plan) {
    std::vector<std::string> names;
    for (const FieldValues& d : plan.grid.dimensions()) names.push_back(d.field()->name);
    if (plan.staff) names.push_back(staffedModelField(plan.staffed).name);
    for (const std::string& label : columnLabels(plan.evaluation.thresholds)) names.push_back(label);
    names.push_back("note");
    return names;
}

SweepRowFormatter::SweepRowFormatter(const SweepPlan& plan)
    : plan_(&plan), columns_(resultColumns(plan.evaluation.thresholds)) {}

void SweepRowFormatter::operator()(const RowResult& row, std::string& out) const {
    const SweepPlan& plan = *plan_;
    for (const FieldValues& d : plan.grid.dimensions()) {
        appendField(out, *d.field(), modelFieldValue(row.input, *d.field()));
        out += ',';
    }
    if (plan.staff) {
        if (row.staffedValue) appendWhole(out, *row.staffedValue);
        out += ',';
    }
    if (row.evaluation) {
        const Evaluation& e = *row.evaluation;
        for (const Column& c : columns_) {
            if (columnDefined(e, c)) appendValue(out, columnValue(e, c));
            out += ',';
        }
    } else {
        out.append(columns_.size(), ',');
    }
    if (!row.findings.empty()) {
        const std::string note = rowNote(row.findings);
        if (!note.empty()) out += csvField(note);
    }
    out += "\r\n";
}

}  // namespace queuecalc
