// The progress line on a simulated clock: shown only on a terminal and only
// for long runs, rewritten at most ten times a second, erased when done.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "report/progress_line.h"

using namespace queuecalc;

namespace {

struct RecordedStream : ErrorStream {
    explicit RecordedStream(bool terminal) : terminal(terminal) {}
    void write(const std::string& text) override { written += text; }
    bool isTerminal() const override { return terminal; }
    bool terminal;
    std::string written;
};

// Runs `moments` moments of `secondsEach` through a line expecting
// `expectedSeconds`, reporting after each; returns what was written.
std::string simulate(bool terminal, double expectedSeconds, std::size_t moments, double secondsEach) {
    RecordedStream err(terminal);
    double now = 100;
    {
        ProgressLine line(err, expectedSeconds, [&] { return now; });
        line.start(InversionAlgorithm::Euler, moments);
        for (std::size_t done = 1; done <= moments; ++done) {
            now += secondsEach;
            line.advance(done);
        }
    }  // erased by the destructor at the latest
    return err.written;
}

std::size_t updates(const std::string& written) {
    return static_cast<std::size_t>(std::count(written.begin(), written.end(), 'C'));  // each starts "Computing"
}

}  // namespace

TEST(ProgressLine, ShowsALongRunAtMostTenTimesASecondAndErasesItself) {
    // 2 s expected, 200 moments of 10 ms: shown from the start.
    const std::string written = simulate(true, 2.0, 200, 0.01);
    EXPECT_EQ(written.find("\rComputing the waiting-time distribution: 0 of 200 moments (Euler)\r"), 0u);
    EXPECT_LE(updates(written), 2 * 10 + 1) << written;
    EXPECT_GE(updates(written), 2 * 10 - 1) << written;
    const std::size_t width = std::string("Computing the waiting-time distribution: 190 of 200 moments (Euler)").size();
    EXPECT_EQ(written.substr(written.size() - width - 2), "\r" + std::string(width, ' ') + "\r");
}

TEST(ProgressLine, AppearsWhenTheRunTurnsOutLongAndNeverOffATerminal) {
    // Expected to be short by its size, but each moment takes 50 ms.
    const std::string slow = simulate(true, 0.1, 40, 0.05);
    EXPECT_EQ(slow.find("\rComputing the waiting-time distribution: 1 of 40 moments (Euler)\r"), 0u);
    EXPECT_EQ(slow.back(), '\r');
    EXPECT_EQ(simulate(true, 0.1, 40, 0.001), "") << "a short run shows nothing";
    EXPECT_EQ(simulate(false, 60.0, 40, 1.0), "") << "nothing when standard error is no terminal";
}

TEST(ProgressLine, NamesTheModelBuildingOfALongRunAndSkipsAnEmptyGrid) {
    RecordedStream err(true);
    {
        ProgressLine line(err, 2.0, [] { return 0.0; });
        line.buildingModel(13376);
        line.start(InversionAlgorithm::Talbot, 0);
    }
    EXPECT_EQ(err.written, "\rBuilding the queue model: 13376 waiting places\r" + std::string(46, ' ') + "\r");
    RecordedStream quiet(true);
    ProgressLine(quiet, 0.5, [] { return 0.0; }).buildingModel(13376);
    EXPECT_EQ(quiet.written, "");
}

TEST(ProgressLine, CountsRowsOnceTheyHaveTakenASecond) {
    RecordedStream err(true);
    double now = 0;
    {
        ProgressLine line(err, 0, [&] { return now; });
        for (std::size_t row = 1; row <= 30; ++row) {
            now += 0.05;  // rows of 50 ms: shown from the 20th on, every other row
            line.count("queuecalc-sweep", row, 30, "rows");
        }
    }
    EXPECT_EQ(err.written.find("\rqueuecalc-sweep: 20 of 30 rows\r"), 0u) << err.written;
    EXPECT_EQ(std::count(err.written.begin(), err.written.end(), 'q'), 6) << err.written;
}
