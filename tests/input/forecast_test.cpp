// The forecast reader: the forms it accepts, and a message naming the line
// and the column for every form it refuses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "input/forecast.h"

using namespace queuecalc;

namespace {

Forecast read(const std::string& text) {
    std::istringstream in(text);
    return readForecast(in, "day.csv");
}

}  // namespace

TEST(ForecastReader, AcceptsColumnsInAnyOrderWithAByteOrderMarkAndEitherLineEnd) {
    const std::string body[] = {
        "Calls,queue,AHT,interval\r\n120,\"Sales, north\",300,08:00\r\n0,x,180.5,08:30\r\n",
        "\xEF\xBB\xBF" "calls,queue,aht,interval\n120,\"Sales, north\",300,08:00\n0,x,180.5,08:30",
        "calls,queue,aht,interval\n\n120,\"Sales, north\",300,08:00\r\n0,x,180.5,08:30\n\n",
    };
    for (const std::string& text : body) {
        const Forecast f = read(text);
        ASSERT_EQ(f.intervals.size(), 2u) << text;
        EXPECT_EQ(f.header[0].size(), 5u) << "the byte order mark is not part of the first name";
        EXPECT_EQ(f.intervals[0].label, "08:00");
        EXPECT_EQ(f.intervals[0].calls, 120);
        EXPECT_EQ(f.intervals[1].aht, 180.5);
        EXPECT_EQ(f.intervals[0].fields[1], "Sales, north") << "other columns are kept as written";
        EXPECT_EQ(f.intervals[1].line, text.find("\n\n120") != std::string::npos ? 4 : 3);
        EXPECT_FALSE(f.hasPatience || f.hasStaffed);
    }
}

TEST(ForecastReader, ReadsPatienceStaffedAndQuotedFieldsAcrossLines) {
    const Forecast f = read(
        "interval,calls,aht,patience,staffed\r\n"
        "\"Mon\r\n08:00\",10,200,90,3\r\n"
        "\"say \"\"hi\"\"\",0, 200 ,45.5,0\r\n");
    ASSERT_EQ(f.intervals.size(), 2u);
    EXPECT_EQ(f.intervals[0].label, "Mon\r\n08:00");
    EXPECT_EQ(f.intervals[1].label, "say \"hi\"");
    EXPECT_EQ(f.intervals[1].line, 4) << "a record's line is where it starts";
    EXPECT_EQ(*f.intervals[1].patience, 45.5);
    EXPECT_EQ(*f.intervals[0].staffed, 3);
    EXPECT_EQ(f.intervals[1].aht, 200) << "blanks around a number are allowed";
}

TEST(ForecastReader, RefusesEachFaultWithItsLineAndColumn) {
    struct Case {
        const char* text;
        int line;
        int column;
        const char* words;
    };
    const Case cases[] = {
        {"", 0, 0, "the file is empty"},
        {"\xEF\xBB\xBF\r\n", 0, 0, "the file is empty"},
        {"interval,calls,aht\r\n", 0, 0, "followed by no interval"},
        {"interval,calls\r\n08:00,5\r\n", 1, 0, "no column 'aht'"},
        {"interval,calls,aht,Calls\r\n", 1, 4, "a second column named 'calls'"},
        {"interval,,aht,calls\r\n", 1, 2, "a column without a name"},
        {"interval,calls,aht\r\n08:00,ten,300\r\n", 2, 2, "calls: 'ten' is not a number"},
        {"interval,calls,aht\r\n08:00,1e999,300\r\n", 2, 2, "'1e999' is not a number"},
        {"interval,calls,aht\r\n08:00,,300\r\n", 2, 2, "'' is not a number"},
        {"interval,calls,aht\r\n08:00,-1,300\r\n", 2, 2, "cannot be negative"},
        {"interval,calls,aht\r\n08:00,5,0\r\n", 2, 3, "must be above 0"},
        {"interval,calls,aht,patience\r\n08:00,5,9,-2\r\n", 2, 4, "patience must be above 0"},
        {"interval,calls,aht,staffed\r\n08:00,5,9,2.5\r\n", 2, 4, "not a whole number of agents"},
        {"interval,calls,aht\r\n08:00,5,9\r\n08:30,5\r\n", 3, 0, "2 fields where the header has 3"},
        {"interval,calls,aht\r\n08:00,5,9\r\n08:00,6,9\r\n", 3, 1, "listed twice (first on line 2)"},
        {"interval,calls,aht\r\n ,5,9\r\n", 2, 1, "no label"},
        {"interval,calls,aht\r\n\"08:00,5,9\r\n", 2, 1, "never closed"},
        {"interval,calls,aht\r\n\"08:00\"x,5,9\r\n", 2, 1, "after the closing quote"},
        {"interval,calls,aht\r\n08\"00,5,9\r\n", 2, 1, "a quote inside a field"},
        {"interval,calls,aht\r08:00,5,9\r", 1, 3, "carriage return that is not followed"},
    };
    for (const Case& c : cases) {
        try {
            read(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ForecastError& e) {
            EXPECT_EQ(e.line(), c.line) << e.what();
            EXPECT_EQ(e.column(), c.column) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
            const std::string where = (c.line > 0 ? ", line " + std::to_string(c.line) : std::string()) +
                                      (c.column > 0 ? ", column " + std::to_string(c.column) : std::string()) + ": ";
            EXPECT_EQ(std::string(e.what()).rfind("day.csv" + where, 0), 0u) << e.what();
        }
    }
}
