#pragma once
// Formatted extraction of one value, and what to tell the user when it fails.

#include <cctype>
#include <istream>
#include <limits>
#include <string>
#include <type_traits>

namespace queuecalc {

// What stood where a value was expected.
struct UnreadableValue {
    bool ended = false;      // the input had ended: nothing stood there
    bool outOfRange = false; // a number, but beyond the range of the type
    std::string text;        // the text, shortened and made printable
    bool followsValue = false;  // no white space between it and the value before
};

// Bytes outside printable ASCII become '?', so that a message can quote the text.
inline void makePrintable(std::string& text) {
    for (char& ch : text) {
        const unsigned char u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u >= 0x7F) ch = '?';
    }
}

// operator>> with its usual rules: leading white space is skipped, a number
// ends at the first character that cannot continue it, and that character is
// left for the next value. On failure returns false and describes in
// `unreadable` what stood there: at most 24 characters up to the next white
// space (then "..."), bytes outside printable ASCII shown as '?'.
template <typename T>
bool readValue(std::istream& in, T& value, UnreadableValue& unreadable) {
    unreadable = UnreadableValue();
    const int before = in.good() ? in.peek() : std::char_traits<char>::eof();
    unreadable.followsValue = before != std::char_traits<char>::eof() && !std::isspace(before);
    if (in.good()) in >> std::ws;
    if (!in.good() || in.peek() == std::char_traits<char>::eof()) {
        unreadable.ended = true;
        return false;
    }
    const std::istream::pos_type start = in.tellg();
    T read{};
    if (in >> read) {
        value = read;
        return true;
    }
    // A failed extraction stores 0 when nothing could be converted and the
    // largest or smallest value of the type when the number is too large.
    unreadable.outOfRange = read == std::numeric_limits<T>::max() ||
                            read == std::numeric_limits<T>::lowest();
    in.clear();
    // Back to where the value began, so that the message shows all of it even
    // when the extraction consumed characters before giving up ("1e999").
    if (start != std::istream::pos_type(-1)) in.seekg(start);
    int c;
    while (unreadable.text.size() < 24 && (c = in.peek()) != std::char_traits<char>::eof() &&
           !std::isspace(c)) {
        unreadable.text.push_back(static_cast<char>(in.get()));
    }
    if (unreadable.text.size() == 24 && (c = in.peek()) != std::char_traits<char>::eof() &&
        !std::isspace(c))
        unreadable.text += "...";
    makePrintable(unreadable.text);
    return false;
}

// The end of a message about text that does not read as a value of type T:
// "\"abc\", which is not a whole number", and so on.
template <typename T>
std::string describeUnreadable(const UnreadableValue& unreadable) {
    std::string text = "\"" + unreadable.text + "\", which ";
    if (std::is_integral<T>::value) {
        if (unreadable.outOfRange)
            return text + "is outside the range of whole numbers (" +
                   std::to_string(std::numeric_limits<int>::lowest()) + " to " +
                   std::to_string(std::numeric_limits<int>::max()) + ")";
        return text + "is not a whole number";
    }
    if (unreadable.outOfRange) return text + "is too large for a number (at most about 1.8e308)";
    return text + "is not a number";
}

}  // namespace queuecalc
