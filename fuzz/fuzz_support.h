#pragma once
// Shared by the fuzz targets: the properties every failure message keeps.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace queuecalc_fuzz {

// Stops the run with the reason; libFuzzer then keeps the input that did it.
[[noreturn]] inline void violated(const char* what, const std::string& detail) {
    std::fprintf(stderr, "property violated: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// A message shown on the console: non-empty, one line, printable ASCII only
// (bytes from the file are shown as '?'), ending with a full stop.
inline void checkMessage(const std::string& message, const std::string& expectedStart) {
    if (message.compare(0, expectedStart.size(), expectedStart) != 0)
        violated("message does not start as expected", message);
    for (char c : message) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) violated("message holds a byte that is not printable ASCII", message);
    }
    if (message.empty() || message.back() != '.') violated("message does not end with a full stop", message);
}

}  // namespace queuecalc_fuzz
