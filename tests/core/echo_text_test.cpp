// Input echoed in a message: cut to a recognisable length, and nothing a
// terminal would take as a command.
#include <gtest/gtest.h>

#include <string>

#include "core/echo_text.h"

TEST(EchoText, KeepsPrintableTextAndEscapesWhatATerminalWouldObey) {
    const struct {
        std::string given, shown;
    } cases[] = {
        {"80/20", "80/20"},
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},  // UTF-8 letters stay
        {"\x1b[2J\r\n\t\x7f", "\\x1b[2J\\x0d\\x0a\\x09\\x7f"},      // C0 controls and DEL
        {"\xc2\x9b" "1m", "\\xc2\\x9b1m"},                       // a C1 control (CSI) in UTF-8
        {"\x9b\xff\xc3", "\\x9b\\xff\\xc3"},                     // bytes that are no UTF-8
        {"\xc0\xaf", "\\xc0\\xaf"},                              // an overlong form
        {std::string(60, 'x'), std::string(60, 'x')},
        {std::string(61, 'x'), std::string(60, 'x') + "..."},
        {std::string(70, '\x01'), [] {
             std::string s;
             for (int i = 0; i < 60; ++i) s += "\\x01";
             return s + "...";
         }()},
    };
    for (const auto& c : cases) EXPECT_EQ(queuecalc::echoText(c.given), c.shown) << c.given;
    EXPECT_EQ(queuecalc::echoText(std::string(100, 'p'), queuecalc::kWholeText), std::string(100, 'p'));
}
