// Reading "INPUT.DAT": thirteen values by formatted extraction, everything
// after them ignored, and a message naming the file, the value's place and
// field, and the text that stood there when a value is missing or unreadable.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/failure.h"
#include "input/model_fields.h"
#include "input/model_input.h"
#include "report/results_file.h"

using namespace queuecalc;

namespace {

ModelInput read(const std::string& text) {
    std::istringstream in(text);
    return readModelInput(in);
}

std::string failure(const std::string& text) {
    try {
        read(text);
    } catch (const RunFailure& f) {
        return f.what();
    }
    return "(read without failure)";
}

const char* const kValues[13] = {"1", "2", "0.5", "0.01", "-1", "10", "30", "1.0", "9.5", "0.1", "16", "5", "0"};

std::string firstValues(int count, const char* separator = "\n") {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::string(kValues[i]) + separator;
    return text;
}

const std::string kRead = "Unable to read input file (INPUT.DAT): ";

}  // namespace

TEST(ModelInputFile, ReadsTheThirteenValuesInOrderWhateverTheWhiteSpace) {
    const ModelInput a = read(firstValues(13));
    const ModelInput b = read("\t " + firstValues(13, " \r\n\t"));
    for (const ModelInput& m : {a, b}) {
        EXPECT_EQ(m.consoleReport, 1);
        EXPECT_EQ(m.abandonType, 2);
        EXPECT_EQ(m.abandonParam1, 0.5);
        EXPECT_EQ(m.abandonParam2, 0.01);
        EXPECT_EQ(m.abandonParam3, -1.0);
        EXPECT_EQ(m.servers, 10);
        EXPECT_EQ(m.waitingPlaces, 30);
        EXPECT_EQ(m.serviceRate, 1.0);
        EXPECT_EQ(m.arrivalRate, 9.5);
        EXPECT_EQ(m.momentInterval, 0.1);
        EXPECT_EQ(m.inversionTerms, 16);
        EXPECT_EQ(m.maxTime, 5.0);
        EXPECT_EQ(m.inversionMethod, 0);
    }
}

TEST(ModelFields, EachFieldIsReadSetAndEchoedAtItsOwnPlaceAndMember) {
    // A value of each field's type that no other field holds: 101, 202, ...
    // for whole numbers, 3.25, 4.25, ... for reals.
    const std::vector<ModelField>& fields = modelFields();
    ASSERT_EQ(fields.size(), 13u);
    std::vector<std::string> texts;
    std::string file;
    for (const ModelField& f : fields) {
        texts.push_back(f.type == FieldType::Whole ? std::to_string(101 * f.position)
                                                   : std::to_string(f.position) + ".25");
        file += texts.back() + "\n";
    }
    const ModelInput m = read(file);
    for (const ModelField& f : fields) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(findModelField(f.name), &f);
        EXPECT_EQ(f.type == FieldType::Whole, f.whole != nullptr);
        EXPECT_EQ(f.type == FieldType::Real, f.real != nullptr);
        EXPECT_EQ(f.whole ? &modelField(f.whole) : &modelField(f.real), &f);
        const double value = std::stod(texts[static_cast<std::size_t>(f.position - 1)]);
        EXPECT_EQ(modelFieldValue(m, f), value);
        // Setting one field leaves every other as it was.
        ModelInput set;
        setModelField(set, f, value);
        for (const ModelField& other : fields)
            EXPECT_EQ(modelFieldValue(set, other), &other == &f ? value : 0.0) << other.name;
    }
    // The results file repeats values 2 .. 13 in order, as they were written.
    const std::string bytes = buildResultsFile(m, PerformanceMeasures(), {}, InversionResults());
    std::string echo;
    for (std::size_t i = 1; i < texts.size(); ++i) echo += texts[i] + "\r\n";
    EXPECT_NE(bytes.find("INPUT FILE USED:\r\n\r\n" + echo + "//"), std::string::npos);
}

TEST(ModelInputFile, IgnoresEverythingAfterTheThirteenthValueEvenUnreadableText) {
    const ModelInput m = read(firstValues(13) + "abc 1e999 99999999999 .5 \x01\xff");
    EXPECT_EQ(m.inversionMethod, 0);
    // The thirteenth value may end the file without a line end.
    EXPECT_EQ(read(firstValues(12) + "-1").inversionMethod, -1);
}

TEST(ModelInputFile, AWholeNumberWithAFractionLeavesTheFractionToTheNextValue) {
    // "1.25" for abandonType reads 1; ".25" is then the phase rate, and every
    // later value moves up one field.
    const ModelInput m = read("1 1.25 3 -1 2 5 1 1.5 0.5 8 2 0");
    EXPECT_EQ(m.abandonType, 1);
    EXPECT_EQ(m.abandonParam1, 0.25);
    EXPECT_EQ(m.abandonParam2, 3.0);
    EXPECT_EQ(m.servers, 2);
    EXPECT_EQ(m.inversionMethod, 0);
}

TEST(ModelInputFile, TakesNumbersAsExtractionDoesAtTheEdgesOfTheirRange) {
    const ModelInput m = read("-2147483648 2147483647 1e-400 4.9e-324 1.7976931348623157e308 1 1 1 1 1 1 1 1");
    EXPECT_EQ(m.consoleReport, -2147483648);
    EXPECT_EQ(m.abandonType, 2147483647);
    EXPECT_EQ(m.abandonParam1, 0.0);  // underflows to 0 without failing
    EXPECT_EQ(m.abandonParam2, 4.9e-324);
    EXPECT_EQ(m.abandonParam3, 1.7976931348623157e308);
}

TEST(ModelInputFile, NamesEachMissingValueByItsPlaceAndField) {
    const char* const fields[13] = {
        "console report switch",
        "abandonment time distribution",
        "1st parameter of the abandonment time distribution",
        "2nd parameter of the abandonment time distribution",
        "3rd parameter of the abandonment time distribution",
        "number of servers",
        "number of extra waiting spaces",
        "individual service rate",
        "arrival rate",
        "time in between measurement moments",
        "number of terms to sum for each measurement moment",
        "maximum time instance",
        "inverse Laplace transform algorithm",
    };
    for (int missing = 1; missing <= 13; ++missing) {
        EXPECT_EQ(failure(firstValues(missing - 1) + "  \n"),
                  kRead + "it ends before value " + std::to_string(missing) + " of 13 (" + fields[missing - 1] + ").");
    }
}

TEST(ModelInputFile, TellsWhyAValueIsUnreadable) {
    EXPECT_EQ(failure(firstValues(5) + "ten 30"),
              kRead + "value 6 of 13 (number of servers) is \"ten\", which is not a whole number.");
    EXPECT_EQ(failure(firstValues(5) + "2147483648"),
              kRead + "value 6 of 13 (number of servers) is \"2147483648\", which is outside the range of whole "
                      "numbers (-2147483648 to 2147483647).");
    EXPECT_EQ(failure(firstValues(5) + "-2147483649"),
              kRead + "value 6 of 13 (number of servers) is \"-2147483649\", which is outside the range of whole "
                      "numbers (-2147483648 to 2147483647).");
    EXPECT_EQ(failure(firstValues(7) + "1e"),
              kRead + "value 8 of 13 (individual service rate) is \"1e\", which is not a number.");
    EXPECT_EQ(failure(firstValues(7) + "nan"),
              kRead + "value 8 of 13 (individual service rate) is \"nan\", which is not a number.");
    EXPECT_EQ(failure(firstValues(8) + "1e309"),
              kRead + "value 9 of 13 (arrival rate) is \"1e309\", which is too large for a number (at most about "
                      "1.8e308).");
    // Text before the first value is not skipped.
    EXPECT_EQ(failure("// parameters\n" + firstValues(13)),
              kRead + "value 1 of 13 (console report switch) is \"//\", which is not a whole number.");
}

TEST(ModelInputFile, ShowsTheUnreadableTextShortAndPrintable) {
    EXPECT_EQ(failure(firstValues(2) + std::string(24, 'x') + " rest"),
              kRead + "value 3 of 13 (1st parameter of the abandonment time distribution) is \"" +
                  std::string(24, 'x') + "\", which is not a number.");
    EXPECT_EQ(failure(firstValues(2) + std::string(25, 'x')),
              kRead + "value 3 of 13 (1st parameter of the abandonment time distribution) is \"" +
                  std::string(24, 'x') + "...\", which is not a number.");
    EXPECT_EQ(failure(firstValues(2) + "\xc3\xa9t\xe9\t\x7f"),
              kRead + "value 3 of 13 (1st parameter of the abandonment time distribution) is \"??t?\", which is "
                      "not a number.");
}

TEST(ModelInputFile, PointsToTheWholeNumberWhoseFractionWasLeftOver) {
    // "10.5" servers: 10 is read, ".5" stands where the waiting places belong.
    EXPECT_EQ(failure(firstValues(5) + "10.5\n30"),
              kRead + "value 7 of 13 (number of extra waiting spaces) is \".5\", which is not a whole number (it is "
                      "left over from value 6, which must be a whole number).");
    // A fraction that stands alone is not left over from anything.
    EXPECT_EQ(failure(firstValues(6) + " .5"),
              kRead + "value 7 of 13 (number of extra waiting spaces) is \".5\", which is not a whole number.");
    // After a real the rest of "1.5.3" is reported without the hint.
    EXPECT_EQ(failure(firstValues(11) + "1.5.3"),
              kRead + "value 13 of 13 (inverse Laplace transform algorithm) is \".3\", which is not a whole "
                      "number.");
}

namespace {

ModelInput readNoting(const std::string& text, InputNotes& notes) {
    std::istringstream in(text);
    return readModelInput(in, &notes);
}

}  // namespace

TEST(RunOnValues, AreNotedWithTheirTextWhileTheValuesStayAsRead) {
    // The deleted line of a real file: value 6 gone, so "0.00416667" lands
    // in the whole-number field r and its fraction becomes mu.
    const std::string text = "1 0 0.5 -1 -1 20 0.00416667 0.25 0.1 32 5 0 comment";
    InputNotes notes;
    const ModelInput noted = readNoting(text, notes);
    const ModelInput plain = read(text);
    EXPECT_EQ(noted.waitingPlaces, 0);
    EXPECT_EQ(noted.serviceRate, 0.00416667);
    EXPECT_EQ(noted.inversionMethod, plain.inversionMethod);
    EXPECT_EQ(noted.maxTime, plain.maxTime);
    ASSERT_EQ(notes.runOns.size(), 1u);
    const RunOnValue& r = notes.runOns[0];
    EXPECT_EQ(r.position, 7);
    EXPECT_EQ(r.text, "0.00416667");
    EXPECT_EQ(r.value, "0");
    EXPECT_EQ(r.rest, ".00416667");
    EXPECT_TRUE(r.restIsNextValue);
}

TEST(RunOnValues, CoverRealsTheLastValueAndTheEndOfTheFileButNotZeroFractions) {
    InputNotes reals;
    readNoting("1 0 0.5 -1 -1 10 20 1 9.5.1 32 5 0", reals);
    ASSERT_EQ(reals.runOns.size(), 1u);
    EXPECT_EQ(reals.runOns[0].position, 9);
    EXPECT_EQ(reals.runOns[0].text, "9.5.1");
    EXPECT_EQ(reals.runOns[0].value, "9.5");

    InputNotes last;
    EXPECT_EQ(readNoting(firstValues(12) + "0.5\nnotes", last).inversionMethod, 0);
    ASSERT_EQ(last.runOns.size(), 1u);
    EXPECT_EQ(last.runOns[0].position, 13);
    EXPECT_EQ(last.runOns[0].rest, ".5");
    EXPECT_FALSE(last.runOns[0].restIsNextValue);

    // A run-on whose second part ends the file (no line end after it).
    InputNotes atEnd;
    EXPECT_EQ(readNoting(firstValues(11) + "5.5-1", atEnd).inversionMethod, -1);
    ASSERT_EQ(atEnd.runOns.size(), 1u);
    EXPECT_EQ(atEnd.runOns[0].text, "5.5-1");
    EXPECT_EQ(atEnd.runOns[0].rest, "-1");

    InputNotes zero;
    readNoting(firstValues(12) + "-1.0 1.5", zero);
    EXPECT_TRUE(zero.runOns.empty()) << "-1.0 means -1; the 1.5 after it is free text";
}

TEST(RunOnValues, LeaveEveryFailureMessageAsItWas) {
    for (const std::string& text : {firstValues(5) + "10.5\n30", firstValues(12), firstValues(11) + "1.5.3",
                                   std::string("1 1.5")}) {
        InputNotes notes;
        std::string noted = "(read without failure)";
        try {
            readNoting(text, notes);
        } catch (const RunFailure& f) {
            noted = f.what();
        }
        EXPECT_EQ(noted, failure(text)) << text;
    }
}
