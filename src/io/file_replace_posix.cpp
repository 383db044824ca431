// File replacement on POSIX systems. The bytes go to an unnamed file in the
// target's folder where the system makes one (O_TMPFILE on Linux), which
// gets a name only when it is complete and on disk; elsewhere to a named
// temporary file (mkstemp). Then fsync and rename.
//
// A named temporary file is removed when SIGINT, SIGTERM or SIGHUP ends the
// program, wherever the program left those signals at their default action:
// a handler unlinks the names held in a fixed table and raises the signal
// again with its default action. Only what no handler sees (SIGKILL, a
// crash, a power cut) can leave one behind; with an unnamed file only
// between two system calls, the link to a hidden name and the rename over
// the earlier file (none at all where there was no earlier file).
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "io/file_replace.h"

namespace queuecalc {

struct FileReplacement::Handle {
    int fd = -1;
    bool unnamed = false;  // fd is a file without a name (O_TMPFILE) until finish()
    std::string temp;      // the new file's name while it has one; else empty
    std::string target;    // the file that is replaced (a link's target)
    int slot = -1;         // where the signal handler finds `temp`
};

namespace {

// ---- Names a signal removes -------------------------------------------------

const int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Room for the names of this many new files at once, each up to PATH_MAX
// (4096 on Linux); a longer name, or one more, is not removed by a signal.
constexpr int kSlots = 8;
constexpr std::size_t kPathBytes = 4096;

enum SlotState : int { kFree, kFilling, kArmed };
struct PendingName {
    std::atomic<int> state{kFree};
    char path[kPathBytes];
};
PendingName pendingNames[kSlots];

// Async-signal-safe: atomic loads of lock-free ints, unlink and raise.
// SA_RESETHAND has restored the default action, which raise then takes
// (at once, or when the handler returns).
extern "C" void removeNamesAndEnd(int signal) {
    for (PendingName& pending : pendingNames)
        if (pending.state.load() == kArmed) ::unlink(pending.path);
    ::raise(signal);
}

// For the signals at their default action, each time a name is armed (a
// signal ignored, as under nohup, or a program's own handler is left as it
// is): the handler then stands wherever the program lets a signal end it.
void installHandlers() {
    for (const int signal : kCleanedSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = removeNamesAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

// The slot now holding `path`, or -1.
int armName(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    installHandlers();
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (pendingNames[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(pendingNames[i].path, path.c_str(), path.size() + 1);
            pendingNames[i].state.store(kArmed);
            return i;
        }
    }
    return -1;
}

void disarmName(int& slot) {
    if (slot >= 0) pendingNames[slot].state.store(kFree);
    slot = -1;
}

// Holds off the three signals in this thread while a name and its slot
// change together, so that no signal finds a name the table does not hold.
using SignalsHeld = EndingSignalsHeld;

// ---- Files ------------------------------------------------------------------

std::string reasonOf(int error) { return std::strerror(error); }

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Flushes to disk; a file that cannot be flushed (a pipe, /dev/null) counts
// as flushed.
bool flush(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

// Overwrites the file itself: the way when its folder takes no new file.
// The descriptor, or -1 with errno set.
int openInPlace(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// A file without a name in `folder`, or -1 where the system makes none (no
// O_TMPFILE, a file system without it, a folder that takes no new file)
// or could not name it later (no /proc).
int openUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::access(procPath(fd).c_str(), F_OK) == 0) return fd;
    ::close(fd);
#else
    (void)folder;
#endif
    return -1;
}

// Gives the unnamed file `fd` the name `path`; false with errno set
// (EEXIST: a file has that name).
bool linkUnnamed(int fd, const std::string& path) {
#ifdef AT_EMPTY_PATH
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
#endif
    // Without the capability AT_EMPTY_PATH needs: the link in /proc.
    return ::linkat(AT_FDCWD, procPath(fd).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// A hidden name beside `target` that no file has, given to the unnamed file
// `fd`; the empty string with errno set when none could be.
std::string linkHidden(int fd, const std::string& target) {
    static std::atomic<unsigned> counter{0};
    std::string folder = folderOf(target);
    if (folder.back() != '/') folder += '/';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = folder + "." + nameOf(target) + "." + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++);
        if (linkUnnamed(fd, name)) return name;
        if (errno != EEXIST) return std::string();
    }
    return std::string();  // errno is EEXIST
}

}  // namespace

struct EndingSignalsHeld::Mask {
    sigset_t signals;
};

EndingSignalsHeld::EndingSignalsHeld() : previous_(std::make_unique<Mask>()) {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : kCleanedSignals) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, &previous_->signals);
}

EndingSignalsHeld::~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_->signals, nullptr); }

FileReplacement::FileReplacement(const std::string& path, NewFile kind, InPlace inPlace)
    : handle_(std::make_unique<Handle>()), stream_(this) {
    Handle& h = *handle_;
    h.target = path;
    struct stat existing {};
    bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (exists && S_ISLNK(existing.st_mode)) {
        // Replace the file the link points to, not the link.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {  // a dangling link: create its target
            h.fd = openInPlace(path);
            if (h.fd < 0) failure_ = reasonOf(errno);
            return;
        }
        h.target = resolved;
        std::free(resolved);
        exists = ::stat(h.target.c_str(), &existing) == 0;
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        failure_ = "a folder of that name is in the way";
        return;
    }
    if (exists && ::access(h.target.c_str(), W_OK) != 0) {
        failure_ = reasonOf(errno);
        return;
    }
    if (exists && !S_ISREG(existing.st_mode)) {  // a device or pipe is written, not replaced
        h.fd = openInPlace(h.target);
        if (h.fd < 0) failure_ = reasonOf(errno);
        return;
    }

    h.fd = kind == NewFile::UnnamedWherePossible ? openUnnamed(folderOf(h.target)) : -1;
    h.unnamed = h.fd >= 0;
    if (!h.unnamed) {
        std::string temp = folderOf(h.target);
        if (temp.back() != '/') temp += '/';
        temp += "." + nameOf(h.target) + ".XXXXXX";
        {
            SignalsHeld held;
            h.fd = ::mkstemp(&temp[0]);
            if (h.fd >= 0) {
                h.temp = temp;
                h.slot = armName(temp);
            }
        }
        if (h.fd < 0) {
            const bool folderClosed = errno == EACCES || errno == EPERM;  // the folder takes no new file
            if (folderClosed && inPlace == InPlace::Refused) {
                failure_ = "its folder takes no new file (" + reasonOf(errno) +
                           "), and the file is not overwritten in place, where a failure could leave it cut short";
                return;
            }
            if (folderClosed) h.fd = openInPlace(h.target);
            if (h.fd < 0) failure_ = reasonOf(errno);
            return;
        }
    }
    // The new file gets the permissions (and, where allowed, the owner) the
    // old one had, or those a plain creation would give.
    if (exists) {
        ::fchmod(h.fd, existing.st_mode & 07777);
        if (::fchown(h.fd, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's permissions change hands when the owner cannot.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(h.fd, 0666 & ~mask);
    }
}

FileReplacement::~FileReplacement() {
    Handle& h = *handle_;
    if (h.fd >= 0) ::close(h.fd);  // an unnamed file goes with it
    if (!h.temp.empty()) {
        SignalsHeld held;
        ::unlink(h.temp.c_str());
        disarmName(h.slot);
    }
}

void FileReplacement::append(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(handle_->fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure_ = reasonOf(errno);
            return;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void FileReplacement::finish() {
    Handle& h = *handle_;
    if (h.fd < 0) return;  // nothing was opened: failure_ says why
    bool ok = failure_.empty() && flush(h.fd);
    if (failure_.empty() && !ok) failure_ = reasonOf(errno);
    bool placed = false;  // already under the target's name
    if (ok && h.unnamed) {
        // Straight to the target's name where no file has it (in one step);
        // else a hidden name first, for the rename below.
        SignalsHeld held;
        if (linkUnnamed(h.fd, h.target)) {
            placed = true;
        } else if (errno == EEXIST) {
            h.temp = linkHidden(h.fd, h.target);
            if (!h.temp.empty()) h.slot = armName(h.temp);
        }
        if (!placed && h.temp.empty()) {
            ok = false;
            failure_ = reasonOf(errno);
        }
    }
    if (::close(h.fd) != 0 && ok && !placed) {
        ok = false;
        failure_ = reasonOf(errno);
    }
    h.fd = -1;
    if (!ok) return;  // the destructor removes a new file
    if (!placed) {
        if (h.temp.empty()) return;  // written in place
        SignalsHeld held;
        if (::rename(h.temp.c_str(), h.target.c_str()) != 0) {
            failure_ = reasonOf(errno);
            return;
        }
        h.temp.clear();
        disarmName(h.slot);
    }
    // The new name reaches the disk with the folder.
    const int folder = ::open(folderOf(h.target).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace queuecalc
