#pragma once
// Walking a program's arguments: "--name=value" or "--name value", and whole
// numbers in a range. Shared by the programs' option parsers; knows no option
// of its own. Errors are UsageError, with the option named in the message.

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "core/failure.h"

namespace queuecalc {

class CommandLine {
public:
    explicit CommandLine(const std::vector<std::string>& args) : args_(args) {}

    // Moves to the next argument; false after the last one.
    bool next();

    // The current argument; for "--name=value" only "--name".
    const std::string& option() const { return option_; }
    // The current argument as given.
    const std::string& argument() const { return args_[index_]; }
    // True for "--name=value".
    bool hasInlineValue() const { return inlineValue_; }
    const std::string& inlineValue() const { return value_; }

    // The option's value: after '=', or the next argument (which it uses up).
    std::string takeValue();
    // Throws when a flag was given a value with '='.
    void noValue() const;
    // Uses up the next argument when `accept` says it belongs to this option.
    template <class Accept>
    bool takeFollowingIf(Accept accept, std::string& taken) {
        if (inlineValue_ || index_ + 1 >= args_.size() || !accept(args_[index_ + 1])) return false;
        taken = args_[++index_];
        return true;
    }

private:
    const std::vector<std::string>& args_;
    std::size_t index_ = 0;
    bool started_ = false;
    std::string option_;
    std::string value_;
    bool inlineValue_ = false;
};

// The waiting-time method of --method.
WaitingMethod methodOption(const std::string& text);

// "--model exact|chain" (UsageError otherwise).
QueueModelChoice modelOption(const std::string& text);

// --method with the exact model is refused: the method is the chain's.
void checkMethodWithModel(QueueModelChoice model, bool methodGiven);

// The most worker threads a program's --jobs takes.
constexpr unsigned kMaxJobs = 1024;

// A whole number from `low` to `high` written in plain digits, for `option`.
long long wholeOption(const std::string& option, const std::string& text, long long low, long long high);

// A file a program reads or writes, with what its messages call it: an
// option ("--out") or a file's own description ("the forecast").
struct NamedFile {
    std::string role;
    std::string path;  // empty: none
};

// Throws UsageError, before anything is read or written, when an output is
// one of the inputs (writing it would destroy the input) or two outputs are
// one file (one would replace the other); see sameFile.
void checkDistinctFiles(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs);

}  // namespace queuecalc
