#pragma once
// Text a user gave (an option's value, a field of a file), fit to be shown
// in a one-line message: at most kEchoCharacters characters (or as many as
// asked), a longer text cut and ended with "...", and every byte a terminal could take as a
// command written as \xHH: the control bytes (below 0x20), DEL, the C1
// controls (U+0080 .. U+009F) and bytes that are not part of well-formed
// UTF-8. Other UTF-8 characters are kept; each counts as one character.

#include <cstddef>
#include <string>

namespace queuecalc {

// Enough to recognise a value, short enough to keep a message on one line.
constexpr std::size_t kEchoCharacters = 60;

// `most` characters at most: file names are shown whole (pass
// kWholeText), values cut.
constexpr std::size_t kWholeText = static_cast<std::size_t>(-1);

inline std::string echoText(const std::string& text, std::size_t most = kEchoCharacters) {
    static const char* const kHex = "0123456789abcdef";
    std::string shown;
    std::size_t characters = 0;
    const auto escape = [&](unsigned char byte) {
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 15];
    };
    for (std::size_t i = 0; i < text.size(); ++characters) {
        if (characters == most) return shown + "...";
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7f) escape(lead);
            else shown += static_cast<char>(lead);
            ++i;
            continue;
        }
        // A well-formed sequence: its length, and its code point's least
        // value (an overlong form is not well-formed).
        const std::size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                                   : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
        char32_t point = length == 2 ? lead & 0x1f : length == 3 ? lead & 0x0f : lead & 0x07;
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            wellFormed = (next & 0xc0) == 0x80;
            point = (point << 6) | (next & 0x3f);
        }
        const char32_t least = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
        wellFormed = wellFormed && point >= least && point <= 0x10ffff && !(point >= 0xd800 && point <= 0xdfff);
        if (!wellFormed || point <= 0x9f) {  // a stray byte, or a C1 control
            escape(lead);
            ++i;
            if (wellFormed) escape(static_cast<unsigned char>(text[i++]));  // the C1's second byte
            continue;
        }
        shown.append(text, i, length);
        i += length;
    }
    return shown;
}

}  // namespace queuecalc
