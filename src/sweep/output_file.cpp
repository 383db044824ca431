#include "sweep/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace queuecalc {
namespace sweep {

namespace {

std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& path) : path_(path) {
    std::string temp = folderOf(path) + "/." + nameOf(path) + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    // mkstemp makes the file private (0600); give it the earlier file's
    // permissions, or those of any new file under the user's umask.
    struct stat earlier;
    mode_t mode;
    if (::stat(path.c_str(), &earlier) == 0) {
        mode = earlier.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    ::close(fd);
    temp_ = temp;
    stream_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!stream_) error_ = "cannot open a new file beside it";
}

ReplacingFile::~ReplacingFile() {
    if (!committed_ && !temp_.empty()) {
        stream_.close();
        ::unlink(temp_.c_str());
    }
}

bool ReplacingFile::commit() {
    if (!ok()) return false;
    stream_.flush();
    const bool written = static_cast<bool>(stream_);
    stream_.close();
    if (!written || stream_.fail()) {
        error_ = "writing failed (is the disk full?)";
        return false;
    }
    // On disk before the rename, so that a crash cannot leave an empty file
    // under the target's name.
    const int fd = ::open(temp_.c_str(), O_RDONLY);
    const bool synced = fd >= 0 && (::fsync(fd) == 0 || errno == EINVAL);
    if (fd >= 0) ::close(fd);
    if (!synced || std::rename(temp_.c_str(), path_.c_str()) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace sweep
}  // namespace queuecalc
