// What file replacement does alike on every system: the stream's buffer and
// the whole-file call. The system's part is in file_replace_posix.cpp and
// file_replace_windows.cpp.
#include "io/file_replace.h"

#include <filesystem>

namespace queuecalc {

namespace {

// Large enough that a table's rows reach the file in few writes.
const std::size_t kBufferSize = std::size_t{1} << 16;

// Links followed at most: as many as POSIX systems follow (40 on Linux).
constexpr int kMaxLinks = 40;

// The file a name leads to, as an absolute path with every link, "." and
// ".." resolved as far as the files exist (a dangling link leads to its
// target's name).
std::filesystem::path resolvedPath(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path path = fs::absolute(fs::path(name), error);
    if (error) return fs::path(name).lexically_normal();
    for (int link = 0; link < kMaxLinks && fs::is_symlink(fs::symlink_status(path, error)); ++link) {
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : resolved;
}


}  // namespace

void FileReplacement::write(const char* bytes, std::size_t size) {
    drain();
    if (failure_.empty()) append(bytes, size);
}

std::string FileReplacement::commit() {
    if (committed_) return failure_;
    committed_ = true;
    drain();
    finish();
    return failure_;
}

void FileReplacement::drain() {
    const std::size_t held = static_cast<std::size_t>(pptr() - pbase());
    if (held > 0 && failure_.empty()) append(pbase(), held);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FileReplacement::int_type FileReplacement::overflow(int_type c) {
    drain();
    if (!failure_.empty()) return traits_type::eof();
    if (buffer_.empty()) {  // the first use of stream()
        buffer_.resize(kBufferSize);
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize FileReplacement::xsputn(const char* bytes, std::streamsize size) {
    if (size < static_cast<std::streamsize>(kBufferSize)) return std::streambuf::xsputn(bytes, size);
    write(bytes, static_cast<std::size_t>(size));  // too large to hold back
    return failure_.empty() ? size : 0;
}

int FileReplacement::sync() {
    drain();
    return failure_.empty() ? 0 : -1;
}

std::string replaceFile(const std::string& path, const std::string& bytes, InPlace inPlace) {
    FileReplacement file(path, NewFile::UnnamedWherePossible, inPlace);
    file.write(bytes.data(), bytes.size());
    return file.commit();
}

std::vector<std::string> commitTogether(const std::vector<FileReplacement*>& replacements) {
    std::vector<std::string> failures;
    const EndingSignalsHeld held;
    for (FileReplacement* replacement : replacements) failures.push_back(replacement->commit());
    return failures;
}

std::vector<std::string> replaceFilesTogether(const std::vector<WholeFile>& files) {
    std::vector<std::unique_ptr<FileReplacement>> replacements;
    std::vector<FileReplacement*> all;
    for (const WholeFile& file : files) {
        replacements.push_back(std::make_unique<FileReplacement>(file.path));
        replacements.back()->write(file.bytes.data(), file.bytes.size());
        all.push_back(replacements.back().get());
    }
    return commitTogether(all);
}

bool sameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    if (a.empty() || b.empty()) return false;
    const fs::path first = resolvedPath(a), second = resolvedPath(b);
    std::error_code error;
    if (fs::exists(first, error) && fs::exists(second, error)) {
        const bool same = fs::equivalent(first, second, error);
        if (!error) return same;
    }
    return first == second;
}

}  // namespace queuecalc
