#pragma once
// The --out file: rows are streamed into a new hidden file beside the target
// and, once all are written and on disk, it takes the target's name in one
// step. A sweep that fails or is interrupted leaves an earlier file whole.

#include <fstream>
#include <string>

namespace queuecalc {
namespace sweep {

class ReplacingFile {
public:
    // Creates ".NAME.XXXXXX" in the target's folder, with the permissions of
    // an earlier file of that name or of a new one; check ok() / error().
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();  // removes the new file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }  // the system's reason
    std::ostream& stream() { return stream_; }

    // Flushes, syncs and renames the new file into place; false (with
    // error()) when any of that fails, and then the target is untouched.
    bool commit();

private:
    std::string path_;
    std::string temp_;
    std::ofstream stream_;
    std::string error_;
    bool committed_ = false;
};

}  // namespace sweep
}  // namespace queuecalc
