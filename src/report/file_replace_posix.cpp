// File replacement on POSIX systems: temporary file, fsync, rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "report/file_replace.h"

namespace queuecalc {

struct FileReplacement::Handle {
    int fd = -1;
    std::string temp;    // the new file; empty when the target is written in place
    std::string target;  // the file that is replaced (a link's target)
};

namespace {

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

}  // namespace

FileReplacement::FileReplacement(const std::string& path) : handle_(std::make_unique<Handle>()), stream_(this) {
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

    std::string temp = folderOf(h.target);
    if (temp.back() != '/') temp += '/';
    temp += "." + nameOf(h.target) + ".XXXXXX";
    h.fd = ::mkstemp(&temp[0]);
    if (h.fd < 0) {
        if (errno == EACCES || errno == EPERM) h.fd = openInPlace(h.target);  // the folder takes no new file
        if (h.fd < 0) failure_ = reasonOf(errno);
        return;
    }
    h.temp = temp;
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
    if (handle_->fd >= 0) ::close(handle_->fd);
    if (!handle_->temp.empty()) ::unlink(handle_->temp.c_str());
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
    if (::close(h.fd) != 0 && ok) {
        ok = false;
        failure_ = reasonOf(errno);
    }
    h.fd = -1;
    if (!ok || h.temp.empty()) return;  // the destructor removes a new file
    if (::rename(h.temp.c_str(), h.target.c_str()) != 0) {
        failure_ = reasonOf(errno);
        return;
    }
    h.temp.clear();
    // The new name reaches the disk with the folder.
    const int folder = ::open(folderOf(h.target).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace queuecalc
