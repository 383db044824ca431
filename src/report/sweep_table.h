#pragma once
// The table of a scenario plan as CSV (report/csv.h): a header, then one
// record per row: the varied fields, the staffed field, the result columns
// (report/measure_labels.h) and a note.

#include <string>
#include <vector>

#include "analysis/plan_run.h"

namespace queuecalc {

// The column names: varied fields, the staffed field, result columns, "note".
std::vector<std::string> sweepHeader(const SweepPlan& plan);

// Appends the record of one row. A row without values has its fields
// empty; a measure that is undefined (given abandonment where P(A) = 0) is
// empty; the note tells the findings that fail the checks, and notes.
void formatSweepRow(const SweepPlan& plan, const RowResult& row, std::string& out);

}  // namespace queuecalc
