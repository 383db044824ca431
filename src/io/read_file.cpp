#include "io/read_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace queuecalc {

bool readWholeStream(std::istream& in, std::string& text) {
    // istream::read catches what the buffer throws and sets badbit, where
    // an istreambuf_iterator would pass it on.
    char block[1 << 16];
    while (in.read(block, sizeof block) || in.gcount() > 0) text.append(block, static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

FileText readWholeFile(const std::string& path) {
    FileText read;
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        read.problem = "is a folder, not a file";
        return read;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        read.problem = "cannot be opened";
        return read;
    }
    std::string text;
    if (!readWholeStream(in, text)) {
        read.problem = "cannot be read";
        return read;
    }
    read.text = std::move(text);
    return read;
}

}  // namespace queuecalc
