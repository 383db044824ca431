#pragma once
// The table of a scenario plan as CSV (report/csv.h): a header, then one
// record per row: the varied fields, the staffed field, the result columns
// (report/measure_labels.h) and a note.

#include <string>
#include <vector>

#include "analysis/columns.h"
#include "analysis/plan_run.h"

namespace queuecalc {

// The column names: varied fields, the staffed field, result columns, "note".
std::vector<std::string> sweepHeader(const SweepPlan& plan);

// Appends the record of one row to `out`, the same bytes as csvRecord of its
// fields: a row without values has its fields empty; a measure that is
// undefined (given abandonment where P(A) = 0) is empty; the note tells the
// findings that fail the checks, and notes. The columns are worked out once
// per plan, and the numbers are written straight into `out`: a row costs no
// allocation but what `out` may need to grow (a caller that reuses `out`
// pays none). The plan must outlive the formatter.
class SweepRowFormatter {
public:
    explicit SweepRowFormatter(const SweepPlan& plan);
    void operator()(const RowResult& row, std::string& out) const;

private:
    const SweepPlan* plan_;
    std::vector<Column> columns_;
};

}  // namespace queuecalc
