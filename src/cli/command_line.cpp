#include "cli/command_line.h"

#include <algorithm>

#include "io/file_replace.h"
#include "core/echo_text.h"
#include "core/number_text.h"

namespace queuecalc {

bool CommandLine::next() {
    if (started_) ++index_;
    started_ = true;
    if (index_ >= args_.size()) return false;
    option_ = args_[index_];
    value_.clear();
    inlineValue_ = false;
    const std::string::size_type equals = option_.find('=');
    if (option_.compare(0, 2, "--") == 0 && equals != std::string::npos) {
        value_ = option_.substr(equals + 1);
        option_ = option_.substr(0, equals);
        inlineValue_ = true;
    }
    return true;
}

std::string CommandLine::takeValue() {
    if (inlineValue_) return value_;
    if (index_ + 1 >= args_.size()) throw UsageError(echoText(option_) + " needs a value");
    return args_[++index_];
}

void CommandLine::noValue() const {
    if (inlineValue_) throw UsageError(echoText(option_) + " takes no value");
}

long long wholeOption(const std::string& option, const std::string& text, long long low, long long high) {
    const WholeNumber read = readWholeNumber(text, low, high);
    if (!read.ok()) throw UsageError(option + " '" + echoText(text) + "': " + wholeNumberExpected(low, high));
    return read.value;
}

void checkDistinctFiles(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const NamedFile& out = outputs[i];
        for (const NamedFile& in : inputs)
            if (sameFile(out.path, in.path))
                throw UsageError(out.role + " '" + echoText(out.path, kWholeText) + "' is " + in.role + " '" + echoText(in.path, kWholeText) +
                                 "', which it would replace: choose another file");
        for (std::size_t j = 0; j < i; ++j)
            if (sameFile(out.path, outputs[j].path))
                throw UsageError(outputs[j].role + " '" + echoText(outputs[j].path, kWholeText) + "' and " + out.role + " '" + echoText(out.path, kWholeText) +
                                 "' are one file: give each its own");
    }
}

WaitingMethod methodOption(const std::string& text) {
    if (const std::optional<WaitingMethod> method = waitingMethodNamed(text)) return *method;
    throw UsageError("--method '" + echoText(text) + "': expected exact, euler or talbot");
}

QueueModelChoice modelOption(const std::string& text) {
    if (const std::optional<QueueModelChoice> model = queueModelNamed(text)) return *model;
    throw UsageError("--model '" + text + "': expected exact or chain");
}

void checkMethodWithModel(QueueModelChoice model, bool methodGiven) {
    if (model == QueueModelChoice::Exact && methodGiven)
        throw UsageError("--method chooses how the chain's waiting times are computed; the exact model has no "
                         "method (its values come with their bound): give --model chain with --method");
}

}  // namespace queuecalc
