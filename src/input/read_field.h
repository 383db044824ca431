#pragma once
// Formatted extraction of one value, and what to tell the user when it fails.

#include <cctype>
#include <istream>
#include <string>
#include <type_traits>

namespace queuecalc {

// operator>> with its usual rules: leading white space is skipped, a number
// ends at the first character that cannot continue it, and that character is
// left for the next value. On failure returns false with `unreadable` set to
// the text that stood where the value was expected (at most 24 characters up
// to the next white space, non-printable bytes shown as '?'), or to "" when
// the input had ended.
template <typename T>
bool readValue(std::istream& in, T& value, std::string& unreadable) {
    in >> std::ws;
    const std::istream::pos_type start = in.tellg();
    if (in >> value) return true;
    in.clear();
    // Back to where the value began, so that the message shows all of it even
    // when the extraction consumed characters before giving up ("1e999").
    if (start != std::istream::pos_type(-1)) in.seekg(start);
    unreadable.clear();
    int c;
    while (unreadable.size() < 24 && (c = in.peek()) != std::char_traits<char>::eof() &&
           !std::isspace(c)) {
        unreadable.push_back(static_cast<char>(in.get()));
    }
    if (unreadable.size() == 24) unreadable += "...";
    for (char& ch : unreadable) {
        const unsigned char u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u >= 0x7F) ch = '?';
    }
    return false;
}

template <typename T>
const char* expectedKind() {
    return std::is_integral<T>::value ? "a whole number within the integer range"
                                      : "a finite real number";
}

}  // namespace queuecalc
