#pragma once
// The one progress line of every program: a line on standard error that
// shows how far a long computation has come, "Computing the waiting-time
// distribution: 37 of 100 moments (Euler)" or "queuecalc-sweep: 3200 of
// 10000 rows", for runs long enough that a person would wonder. Shown only
// on a terminal and only when the work is expected (by the cost model,
// inversion/cost_model.h) or seen to take more than about a second;
// rewritten at most ten times a second; erased when done, so that nothing of
// it stays between the lines of the console.

#include <cstddef>
#include <functional>
#include <string>

#include "core/choices.h"
#include "inversion/cost_model.h"
#include "io/standard_error.h"

namespace queuecalc {

// Seconds since some fixed moment.
using Clock = std::function<double()>;
double steadySeconds();

// A run that takes longer than this is worth a progress line.
constexpr double kProgressAfterSeconds = 1.0;
// The shortest time between two updates of the line.
constexpr double kProgressInterval = 0.1;


class ProgressLine {
public:
    // `expectedSeconds`: all inversions of the run together.
    ProgressLine(ErrorStream& err, double expectedSeconds, Clock clock = steadySeconds);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether it may be shown at all: standard error is a terminal.
    bool possible() const { return err_.isTerminal(); }

    // The model is being built (its position tables take a second or more
    // from about r = 10000 on): said when the run is expected to be long and
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

    // Work counted in items of its own ("rows"), of unknown length: shown
    // as "WHAT: DONE of TOTAL UNIT" once it has taken kProgressAfterSeconds.
    void count(const std::string& what, std::size_t done, std::size_t total, const char* unit);

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
