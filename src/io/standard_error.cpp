#include "io/standard_error.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace queuecalc {

std::string warningText(const std::string& warning) { return "Warning: " + warning + "\n"; }

#ifdef _WIN32

ProcessStandardError::ProcessStandardError()
    : usable_(_get_osfhandle(2) != -1), terminal_(usable_ && _isatty(2) != 0) {}

void ProcessStandardError::avoidFile(const std::string&) {}

void ProcessStandardError::write(const std::string& text) {
    if (!usable_) return;
    const int saved = errno;
    if (_write(2, text.data(), static_cast<unsigned>(text.size())) < 0) usable_ = false;
    errno = saved;
}

#else

ProcessStandardError::ProcessStandardError()
    : usable_(fcntl(2, F_GETFD) != -1), terminal_(usable_ && isatty(2) == 1) {}

void ProcessStandardError::avoidFile(const std::string& path) {
    struct stat stream {}, file {};
    if (usable_ && fstat(2, &stream) == 0 && stat(path.c_str(), &file) == 0 && stream.st_dev == file.st_dev &&
        stream.st_ino == file.st_ino)
        usable_ = false;
}

// SIGPIPE is blocked for this thread during the write, so that a pipe without
// reader yields EPIPE; the signal that write then left pending is taken back
// before the old mask returns, unless one was pending already. So the
// writes here never end a program, whatever it does with SIGPIPE elsewhere
// (the calculator ignores it, see src/app/main.cpp).
void ProcessStandardError::write(const std::string& text) {
    if (!usable_ || text.empty()) return;
    const int saved = errno;
    sigset_t pipeSignal, previousMask, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigpending(&pending);
    const bool pendingBefore = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);
    std::size_t done = 0;
    bool broken = false;
    while (done < text.size()) {
        const ssize_t n = ::write(2, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            broken = n < 0 && errno == EPIPE;
            usable_ = false;  // a stream that failed once gets nothing more
            break;
        }
    }
    if (broken && !pendingBefore) {
        const timespec noWait{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    errno = saved;
}

#endif

}  // namespace queuecalc
