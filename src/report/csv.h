#pragma once
// CSV as RFC 4180 writes it: fields separated by commas, records ended by
// CR LF, a field quoted (its quotes doubled) when it holds a comma, a quote,
// CR or LF.

#include <string>
#include <vector>

namespace queuecalc {
std::string csvField(const std::string& text);
std::string csvRecord(const std::vector<std::string>& fields);

}  // namespace queuecalc
