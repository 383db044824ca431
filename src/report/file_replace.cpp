// What file replacement does alike on every system: the stream's buffer and
// the whole-file call. The system's part is in file_replace_posix.cpp and
// file_replace_windows.cpp.
#include "report/file_replace.h"

namespace queuecalc {

namespace {

// Large enough that a table's rows reach the file in few writes.
const std::size_t kBufferSize = std::size_t{1} << 16;

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

std::string replaceFile(const std::string& path, const std::string& bytes) {
    FileReplacement file(path);
    file.write(bytes.data(), bytes.size());
    return file.commit();
}

}  // namespace queuecalc
