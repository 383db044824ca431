#pragma once
// A command line the sweep cannot run: a bad option, value or expression.
// main prints its message on one line and ends with status 2.

#include <stdexcept>
#include <string>

namespace queuecalc {
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace queuecalc
