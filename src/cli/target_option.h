#pragma once
// A staffing target as a command line (or a keyword) writes it.

#include <string>

#include "analysis/columns.h"

namespace queuecalc {

// "SL(20)>=0.8", "P(A)<=0.05", "P(W<=20|S)>=0.9", ... The operator is the
// last ">=" or "<=" of the text; the column is named by its table label
// (columnLabel). Over a column of shares (isShareMeasure) the bound is read
// as readShare reads it: SL(20)>=80%, SL(20)>=80 and SL(20)>=0.8 are one
// target. Throws UsageError for an unknown column or a bound that is not a
// number (or not a share).
Target parseTarget(const std::string& text);

}  // namespace queuecalc
