// File replacement on POSIX systems: temporary file, fsync, rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "report/file_replace.h"

namespace queuecalc {

namespace {

const std::string kWritten;  // the empty reason: no failure

std::string reasonOf(int error) { return std::strerror(error); }

bool writeAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

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

// Writes, flushes and closes; on any failure closes, removes `temp` (unless
// empty) and gives the reason.
std::string writeAndClose(int fd, const std::string& bytes, const std::string& temp) {
    bool ok = writeAll(fd, bytes) && flush(fd);
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) return kWritten;
    if (!temp.empty()) ::unlink(temp.c_str());
    return reasonOf(error);
}

// Overwrites the file itself: the way when its folder takes no new file.
std::string writeInPlace(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) return reasonOf(errno);
    return writeAndClose(fd, bytes, "");
}

}  // namespace

std::string replaceFile(const std::string& path, const std::string& bytes) {
    std::string target = path;
    struct stat existing {};
    bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (exists && S_ISLNK(existing.st_mode)) {
        // Replace the file the link points to, not the link.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) return writeInPlace(path, bytes);  // a dangling link: create its target
        target = resolved;
        std::free(resolved);
        exists = ::stat(target.c_str(), &existing) == 0;
    }
    if (exists && S_ISDIR(existing.st_mode)) return "a folder of that name is in the way";
    if (exists && ::access(target.c_str(), W_OK) != 0) return reasonOf(errno);
    if (exists && !S_ISREG(existing.st_mode)) return writeInPlace(target, bytes);  // a device or pipe

    std::string temp = folderOf(target);
    if (temp.back() != '/') temp += '/';
    temp += "." + nameOf(target) + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) return writeInPlace(target, bytes);
        return reasonOf(errno);
    }
    // The new file gets the permissions (and, where allowed, the owner) the
    // old one had, or those a plain creation would give.
    if (exists) {
        ::fchmod(fd, existing.st_mode & 07777);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's permissions change hands when the owner cannot.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    const std::string failure = writeAndClose(fd, bytes, temp);
    if (!failure.empty()) return failure;
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return reasonOf(error);
    }
    // The new name reaches the disk with the folder.
    const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return kWritten;
}

}  // namespace queuecalc
