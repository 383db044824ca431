#pragma once
// One line on standard error that shows how far the waiting-time inversion
// has come, "Computing the waiting-time distribution: 37 of 100 moments
// (Euler)", for runs long enough that a person would wonder. Shown only on a
// terminal and only when the inversion is expected to take more than about a
// second; rewritten at most ten times a second; erased when done, so that
// nothing of it stays between the lines of the console.

#include <cstddef>
#include <functional>
#include <string>

#include "app/standard_error.h"
#include "core/choices.h"

namespace queuecalc {

// Seconds since some fixed moment.
using Clock = std::function<double()>;
double steadySeconds();

// A run that takes longer than this is worth a progress line.
constexpr double kProgressAfterSeconds = 1.0;
// The shortest time between two updates of the line.
constexpr double kProgressInterval = 0.1;

// The inversion's expected time, from its size: each moment evaluates the
// transform at `nodesPerMoment` points of workPerPoint each. The
// rate is what the fast engine reaches on two cores with AVX-512 (1.5e9
// step factors a second on examples/large), rounded up, so that the
// estimate errs towards a shorter run; a slower machine is noticed while
// the run goes on.
constexpr double kStepFactorsPerSecond = 2e9;
double expectedInversionSeconds(int waitingPlaces, std::size_t nodesPerMoment, std::size_t moments);
// The model's expected time: its r(r + 1)/2 queue-position cells, each
// formed twice (for the chance to be served and for the measures, with a
// division each), at about 2.5e8 cells a second (0.36 s at r = 13376 on an
// AMD EPYC of family 25).
constexpr double kTableCellsPerSecond = 2.5e8;
double expectedModelSeconds(int waitingPlaces);

class ProgressLine {
public:
    // `expectedSeconds`: all inversions of the run together.
    ProgressLine(ErrorStream& err, double expectedSeconds, Clock clock = steadySeconds);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether it may be shown at all: standard error is a terminal.
    bool possible() const { return err_.isTerminal(); }

    // The model is being built (its queue positions take a tenth of a
    // second or more from about r = 7000 on): said when the run is expected to be long and
    // the building to take a tenth of a second or more.
    void buildingModel(int waitingPlaces);
    // The moments of one algorithm start.
    void start(InversionAlgorithm algorithm, std::size_t total);
    // `done` of them are computed. The line appears once the whole inversion
    // is expected to take more than kProgressAfterSeconds (from the start, by
    // its size, or later by the time the moments done have taken).
    void advance(std::size_t done);
    // Erases the line if it is shown.
    void finish();

private:
    void show(std::size_t done);
    void showText(const std::string& text);

    ErrorStream& err_;
    double expectedSeconds_;
    Clock clock_;
    double begin_ = 0;
    double lastShown_ = 0;
    bool shown_ = false;
    std::size_t width_ = 0;  // of the line on the screen, to erase it
    const char* algorithm_ = "";
    std::size_t total_ = 0;
    double algorithmBegin_ = 0;
};

}  // namespace queuecalc
