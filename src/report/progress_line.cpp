#include "report/progress_line.h"

#include <chrono>


namespace queuecalc {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ProgressLine::ProgressLine(ErrorStream& err, double expectedSeconds, Clock clock)
    : err_(err), expectedSeconds_(expectedSeconds), clock_(std::move(clock)) {
    if (possible()) begin_ = clock_();
}

ProgressLine::~ProgressLine() { finish(); }

// Only where the building itself is long enough to be seen (r of about 3700
// and more); a shorter one would flash before the moments' line.
void ProgressLine::buildingModel(int waitingPlaces) {
    if (possible() && expectedSeconds_ > kProgressAfterSeconds &&
        expectedModelSeconds(waitingPlaces) >= kProgressInterval) {
        try {
            showText("Building the queue model: " + std::to_string(waitingPlaces) + " waiting places");
        } catch (...) {
        }
    }
}

void ProgressLine::start(InversionAlgorithm algorithm, std::size_t total) {
    algorithm_ = algorithm == InversionAlgorithm::Euler ? "Euler" : "Talbot";
    total_ = total;
    if (!possible() || total == 0) return;
    algorithmBegin_ = clock_();
    if (shown_ ? algorithmBegin_ - lastShown_ >= kProgressInterval : expectedSeconds_ > kProgressAfterSeconds)
        show(0);
}

void ProgressLine::advance(std::size_t done) {
    if (!possible() || done >= total_) return;
    const double now = clock_();
    if (shown_) {
        if (now - lastShown_ >= kProgressInterval) show(done);
        return;
    }
    // Not expected to be long by its size: by the time taken so far.
    if (done == 0) return;
    const double remaining = (now - algorithmBegin_) * static_cast<double>(total_ - done) / static_cast<double>(done);
    if (now - begin_ + remaining > kProgressAfterSeconds) show(done);
}

void ProgressLine::finish() {
    if (!shown_) return;
    shown_ = false;
    try {
        // Back to the start of the line, blanks over the text, back again.
        err_.write("\r" + std::string(width_, ' ') + "\r");
    } catch (...) {
    }
    width_ = 0;
}

void ProgressLine::count(const std::string& what, std::size_t done, std::size_t total, const char* unit) {
    if (!possible()) return;
    const double now = clock_();
    if (shown_ ? now - lastShown_ < kProgressInterval : now - begin_ < kProgressAfterSeconds) return;
    try {
        showText(what + ": " + std::to_string(done) + " of " + std::to_string(total) + " " + unit);
    } catch (...) {
    }
}

void ProgressLine::show(std::size_t done) {
    try {
        showText("Computing the waiting-time distribution: " + std::to_string(done) + " of " +
                 std::to_string(total_) + " moments (" + algorithm_ + ")");
    } catch (...) {
    }
}

// The callers catch whatever forming the line throws: it never changes the
// run, a failure only leaves the line out.
void ProgressLine::showText(const std::string& text) {
    // The new text covers the old; blanks cover what is longer of the old.
    std::string line = "\r" + text;
    if (width_ > text.size()) line += std::string(width_ - text.size(), ' ');
    err_.write(line);
    if (text.size() > width_) width_ = text.size();
    shown_ = true;
    lastShown_ = clock_();
}

}  // namespace queuecalc
