#pragma once
// Standard error as the run uses it: for warnings and the progress line only,
// never for anything the results depend on. Writing to it can fail in any
// way (closed, a pipe nobody reads, a full disk) without changing the run.

#include <string>

namespace queuecalc {

class ErrorStream {
public:
    virtual ~ErrorStream() = default;
    // Writes the text as far as the stream takes it; never fails the run.
    virtual void write(const std::string& text) = 0;
    // Whether a person watches it: only then is a progress line shown.
    virtual bool isTerminal() const = 0;
    // Nothing more is written when the stream is the file at `path` (the
    // results file rewritten in place, with standard error sent to it).
    virtual void avoidFile(const std::string& path) { (void)path; }
    // The message of a failed run, as the console shows it (for a caller
    // that does not read the console).
    virtual void runFailed(const std::string& message) { (void)message; }
};

// An error stream that drops everything (runs without warnings).
class NoErrorStream : public ErrorStream {
public:
    void write(const std::string&) override {}
    bool isTerminal() const override { return false; }
};

// The process's standard error, written unbuffered (each write reaches it at
// once). Construct it before the program opens any file: when descriptor 2
// is closed at start, a file opened later would get that number, so nothing
// is ever written then. A write to a pipe whose reader has gone ends with an
// error instead of the signal that would end the process. After any failed
// write nothing more is written.
class ProcessStandardError : public ErrorStream {
public:
    ProcessStandardError();
    void write(const std::string& text) override;
    bool isTerminal() const override { return terminal_; }
    void avoidFile(const std::string& path) override;

private:
    bool usable_ = false;
    bool terminal_ = false;
};

// "Warning: " in front of the first line of each warning, a line end after
// the last.
std::string warningText(const std::string& warning);

}  // namespace queuecalc
