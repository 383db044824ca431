#include "report/sweep_table.h"

#include "core/number_text.h"
#include "input/model_fields.h"
#include "report/csv.h"
#include "report/finding_text.h"
#include "report/measure_labels.h"

namespace queuecalc {

namespace {

const ModelField& staffedField(StaffedField field) {
    return *findModelField(field == StaffedField::Servers ? "servers" : "waitingPlaces");
}

std::string fieldText(const ModelField& field, double value) {
    if (field.type == FieldType::Whole) return std::to_string(static_cast<long long>(value));
    return formatValue(value);
}

}  // namespace

std::vector<std::string> sweepHeader(const SweepPlan& plan) {
    std::vector<std::string> names;
    for (const FieldValues& d : plan.grid.dimensions()) names.push_back(d.field()->name);
    if (plan.staff) names.push_back(staffedField(plan.staffed).name);
    for (const std::string& label : columnLabels(plan.evaluation.thresholds)) names.push_back(label);
    names.push_back("note");
    return names;
}

void formatSweepRow(const SweepPlan& plan, const RowResult& row, std::string& out) {
    std::vector<std::string> fields;
    for (const FieldValues& d : plan.grid.dimensions())
        fields.push_back(fieldText(*d.field(), modelFieldValue(row.input, *d.field())));
    if (plan.staff) fields.push_back(row.staffedValue ? std::to_string(*row.staffedValue) : std::string());
    const std::vector<Column> columns = resultColumns(plan.evaluation.thresholds);
    if (row.evaluation) {
        const Evaluation& e = *row.evaluation;
        // Empty: the moments given abandonment where nobody abandons, and the
        // bound of a method that gives none.
        for (const Column& c : columns) {
            const bool empty = (givenAbandonment(c.measure) && !e.abandonment.defined) ||
                               (c.measure == Measure::ServiceLevelBound && e.method != WaitingMethod::Exact);
            fields.push_back(empty ? std::string() : formatValue(columnValue(e, c)));
        }
    } else {
        fields.resize(fields.size() + columns.size());
    }
    fields.push_back(rowNote(row.findings));
    out += csvRecord(fields);
}

}  // namespace queuecalc
