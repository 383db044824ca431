#pragma once
// The failures a user is shown: one hierarchy for the whole library, so that
// each program (and the Python module) maps it to its messages, exit statuses
// and exceptions in one place. The library never prints or exits; it throws
// one of these, and only a program's entry point turns it into the console
// message and the exit status.
//
//   Failure              every refusal meant for the user; what() is the message
//   ├── RunFailure       the input cannot be run: a file, a value, a scenario
//   │   └── LocatedFailure (input/located_failure.h): with its line and column
//   └── UsageError       the request itself is not one the program takes: an
//                        option, a keyword, an argument's type or range
//
// The programs end with status 1 for a RunFailure and 2 for a UsageError;
// the Python module raises InputError for both.

#include <stdexcept>
#include <string>

namespace queuecalc {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

class RunFailure : public Failure {
public:
    explicit RunFailure(const std::string& message) : Failure(message) {}
};

class UsageError : public Failure {
public:
    explicit UsageError(const std::string& message) : Failure(message) {}
};

}  // namespace queuecalc
