#include "input/model_input.h"

#include <fstream>

#include "core/failure.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "input/read_field.h"

namespace queuecalc {

const char* const kInputFileName = "INPUT.DAT";

namespace {

// Notices values whose text ran on into the next value read. It only looks
// at positions the reader reaches anyway and, on the rare run-on, reads the
// characters of the run again and returns to where it was, so the values read
// and the messages stay exactly as without it.
class RunOnTracker {
public:
    RunOnTracker(std::istream& in, InputNotes* notes) : in_(in), notes_(notes) {}

    // Right before value `position` is read.
    void beforeValue() {
        previousStart_ = start_;
        previousValue_ = value_;
        start_ = notes_ && in_.good() ? in_.tellg() : unknown();
    }

    // Right after value `position` was read as `valueText`; `followsValue`
    // says that its text began right where the previous value's ended.
    void afterValue(int position, bool followsValue, const std::string& valueText) {
        value_ = valueText;
        if (!notes_ || !followsValue || position < 2) return;
        const std::istream::pos_type end = position_();
        if (previousStart_ == unknown() || start_ == unknown() || end == unknown()) return;
        RunOnValue runOn;
        runOn.position = position - 1;
        runOn.value = previousValue_;
        runOn.text = shorten(textBetween(previousStart_, end));
        runOn.rest = shorten(textBetween(start_, end));
        notes_->runOns.push_back(runOn);
    }

    // After the thirteenth value, at `position`: a fraction glued to it ("0.5" read as 0) is
    // never read. A zero fraction ("-1.0") changes nothing and goes unnoticed.
    void afterLastValue(int position, const std::string& valueText) {
        if (!notes_ || !in_.good() || in_.peek() != '.') return;
        const std::istream::pos_type end = position_();
        if (start_ == unknown() || end == unknown()) return;
        std::string rest;
        int c;
        while (rest.size() < 25 && (c = in_.peek()) != std::char_traits<char>::eof() && !std::isspace(c))
            rest.push_back(static_cast<char>(in_.get()));
        in_.clear();
        in_.seekg(end);
        const std::size_t firstNonZero = rest.find_first_of("123456789");
        if (firstNonZero == std::string::npos || rest.find_first_not_of("0123456789", 1) < firstNonZero)
            return;
        RunOnValue runOn;
        runOn.position = position;
        runOn.value = valueText;
        runOn.text = shorten(textBetween(start_, end) + rest);
        runOn.rest = shorten(rest);
        runOn.restIsNextValue = false;
        notes_->runOns.push_back(runOn);
    }

private:
    static std::istream::pos_type unknown() { return std::istream::pos_type(-1); }

    // Where the stream stands, also when the last extraction reached the end
    // of the input; its state stays as it was.
    std::istream::pos_type position_() {
        const std::ios::iostate state = in_.rdstate();
        in_.clear();
        const std::istream::pos_type here = in_.tellg();
        in_.setstate(state);
        return here;
    }

    // The characters between two positions, leading white space dropped; the
    // stream is left where it stood and in the state it had.
    std::string textBetween(std::istream::pos_type from, std::istream::pos_type to) {
        const std::ios::iostate state = in_.rdstate();
        in_.clear();
        const std::istream::pos_type here = in_.tellg();
        std::string text;
        if (here != unknown() && in_.seekg(from)) {
            for (std::streamoff n = to - from; n > 0; --n) {
                const int c = in_.get();
                if (c == std::char_traits<char>::eof()) break;
                text.push_back(static_cast<char>(c));
            }
        }
        in_.clear();
        if (here != unknown()) in_.seekg(here);
        in_.setstate(state);
        return trimLeft(text);
    }

    static std::string trimLeft(const std::string& text) {
        std::size_t i = 0;
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        return text.substr(i);
    }

    // At most 24 characters (then "..."), printable, as the messages quote text.
    static std::string shorten(std::string text) {
        if (text.size() > 24) text = text.substr(0, 24) + "...";
        makePrintable(text);
        return text;
    }

    std::istream& in_;
    InputNotes* notes_;
    std::istream::pos_type start_ = unknown();
    std::istream::pos_type previousStart_ = unknown();
    std::string value_, previousValue_;
};

std::string valueText(int value) { return std::to_string(value); }
std::string valueText(double value) { return formatValue(value); }

// Reads `field` into `value`; throws RunFailure naming the field when it is
// missing or unreadable.
template <typename T>
void readField(std::istream& in, const ModelField& field, T& value, RunOnTracker& tracker,
               const std::string& fileName) {
    const int position = field.position;
    const int count = static_cast<int>(modelFields().size());
    UnreadableValue unreadable;
    tracker.beforeValue();
    if (readValue(in, value, unreadable)) {
        tracker.afterValue(position, unreadable.followsValue, valueText(value));
        if (position == count) tracker.afterLastValue(position, valueText(value));
        return;
    }
    const std::string named = "value " + std::to_string(position) + " of " + std::to_string(count) + " (" +
                              field.words + ")";
    if (unreadable.ended)
        throw RunFailure("Unable to read input file (" + fileName + "): it ends before " + named + ".");
    std::string message = "Unable to read input file (" + fileName + "): " + named + " is " +
                          describeUnreadable<T>(unreadable);
    // A whole number written with a fraction ("10.5") is read up to its
    // point; the rest then stands where the next value should be.
    if (position > 1 && unreadable.followsValue && unreadable.text[0] == '.' &&
        isWholeNumberField(position - 1))
        message += " (it is left over from value " + std::to_string(position - 1) +
                   ", which must be a whole number)";
    throw RunFailure(message + ".");
}

}  // namespace

ModelInput readModelInput(std::istream& in, InputNotes* notes, const std::string& fileName) {
    ModelInput m;
    RunOnTracker tracker(in, notes);
    for (const ModelField& field : modelFields()) {
        if (field.type == FieldType::Whole) {
            readField(in, field, m.*field.whole, tracker, fileName);
        } else {
            readField(in, field, m.*field.real, tracker, fileName);
        }
    }
    m.setAbandonType(m.abandonType);
    m.setInversionMethod(m.inversionMethod);
    return m;
}

ModelInput readModelInputFile(const std::string& path, InputNotes* notes, const std::string& fileName) {
    // Binary, so that every system reads the same bytes: a text-mode stream
    // on Windows would drop the CR of each CR LF (its white space either way)
    // but then misplace the re-reading of an unreadable value, and would end
    // the file at a Ctrl-Z.
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RunFailure("Unable to open input file (" + fileName + ").");
    return readModelInput(file, notes, fileName);
}

}  // namespace queuecalc
