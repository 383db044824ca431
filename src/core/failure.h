#pragma once
// The one kind of failure a run can end in: a message for the user, shown by
// the failure routine of the program before it stops with a non-zero status.
// The library never prints or exits; it throws this, and only the program's
// entry point turns it into the console message and the exit status.

#include <stdexcept>
#include <string>

namespace queuecalc {

class RunFailure : public std::runtime_error {
public:
    explicit RunFailure(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace queuecalc
