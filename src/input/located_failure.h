#pragma once
// A file that cannot be read, and where: the forecast, a shift schedule's
// requirements or templates. Also the small text helpers their readers share.

#include <cctype>
#include <string>

#include "core/failure.h"

namespace queuecalc {

// The failure with its line and column, from 1 (0 where the whole file or
// record is meant); both are also in the message.
class LocatedFailure : public RunFailure {
public:
    LocatedFailure(const std::string& message, int line, int column)
        : RunFailure(message), line_(line), column_(column) {}
    int line() const { return line_; }
    int column() const { return column_; }

private:
    int line_;
    int column_;
};

// "<name>, line L, column C: <what>", the parts that are 0 left out.
inline std::string locatedMessage(const std::string& name, int line, int column, const std::string& what) {
    std::string where = name;
    if (line > 0) where += ", line " + std::to_string(line);
    if (column > 0) where += ", column " + std::to_string(column);
    return where + ": " + what;
}

// The text without the blanks (spaces and tabs) around it.
inline std::string trimmed(const std::string& text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t first = 0, last = text.size();
    while (first < last && blank(text[first])) ++first;
    while (last > first && blank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// The text in lower case (ASCII letters).
inline std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace queuecalc
