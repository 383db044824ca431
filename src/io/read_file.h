#pragma once
// Reading a whole file, or a stream to its end, as text: the one reader for
// every file a program takes in whole (a forecast, requirements, templates).
// A failure is a value, never an exception: the standard library's stream
// buffers may throw on a read error (a folder given as a file), which an
// iterator over the buffer would let through.

#include <istream>
#include <optional>
#include <string>

namespace queuecalc {

// The bytes of the file at `path`, or why there are none: "cannot be opened",
// "is a folder, not a file", "cannot be read".
struct FileText {
    std::optional<std::string> text;
    std::string problem;  // empty when `text` holds the file
};
FileText readWholeFile(const std::string& path);

// The rest of `in`, appended to `text`; false (with the stream's badbit set)
// where a read failed part way.
bool readWholeStream(std::istream& in, std::string& text);

}  // namespace queuecalc
