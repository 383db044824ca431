#pragma once
// Replacing a whole file safely, for any program that writes a file
// completely and then puts it in place of an earlier one.
//
// The bytes go to a new file in the target's folder, are flushed to disk,
// and only then does the new file take the target's name in one step, so
// that an earlier file survives any failure whole: after a failure the
// target is as it was and no new file is left behind. Where the folder takes
// no new file (read-only) the replacement is refused, even where the target
// itself is writable, unless the caller allows writing it in place
// (InPlace::Allowed, the calculator's way for "OUTPUT.CSV", where a failure
// while writing can leave it incomplete). A target that is not writable
// (read-only) is refused, as is a folder of the target's name.
//
// Failures are given as the reason in the system's words, without a final
// full stop ("Permission denied"), for the caller's own message; nothing
// here throws for a failure of the file system.
//
// POSIX: the new file has no name while it is written where the system
// makes such files (O_TMPFILE on Linux), so that a program killed meanwhile
// leaves nothing; elsewhere it is ".NAME." and a unique ending (mkstemp),
// removed when SIGINT, SIGTERM or SIGHUP ends the program (for each of them
// still at its default action a handler is installed that removes the new
// files' names and then ends the program by the signal, as the default
// would). Then fsync and rename. The new file keeps the permissions (and, where allowed, the owner)
// of the earlier one, or gets those of any new file; a symbolic link is
// followed and the file it points to replaced; a device or pipe is written,
// not replaced. Windows: ".NAME.<process>-<n>" by CreateFileW,
// FlushFileBuffers, MoveFileExW with MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH; narrow names are in the code page of the system's
// narrow file functions; a target that another program holds open without
// delete sharing (a spreadsheet showing it) is refused.
#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace queuecalc {

// The kind of new file: without a name where the system makes one, or
// always named (the way of every other system, chosen to test it).
enum class NewFile { UnnamedWherePossible, Named };

// Where the target's folder takes no new file: refuse, or overwrite the
// target itself (see above).
enum class InPlace { Refused, Allowed };

// A replacement written in pieces (a table streamed row by row):
//   FileReplacement out(path);
//   if (out.failure().empty()) out.stream() << ...;   // or out.write(...)
//   const std::string failure = out.commit();          // "" once in place
class FileReplacement : private std::streambuf {
public:
    // Prepares the new file (or, where it must be, opens the target itself);
    // a failure to do so is kept in failure().
    explicit FileReplacement(const std::string& path, NewFile kind = NewFile::UnnamedWherePossible,
                             InPlace inPlace = InPlace::Refused);
    // Removes the new file unless it was put in place.
    ~FileReplacement() override;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Appends the bytes exactly (no line-end translation); after the first
    // failure nothing more is written.
    void write(const char* bytes, std::size_t size);
    // A stream that appends as write() does, buffered; commit() flushes it.
    std::ostream& stream() { return stream_; }
    // Flushes the new file to disk and puts it in place, once. Returns the
    // reason of the first failure, or the empty string when it is in place.
    std::string commit();
    // The reason of the first failure so far; empty while there is none.
    const std::string& failure() const { return failure_; }

private:
    struct Handle;  // the open file, per system
    std::string failure_;
    std::unique_ptr<Handle> handle_;
    std::vector<char> buffer_;  // what stream() holds back
    std::ostream stream_;
    bool committed_ = false;

    // Per system (file_replace_posix.cpp, file_replace_windows.cpp).
    void append(const char* bytes, std::size_t size);
    void finish();  // after a failure: discard the new file; else sync, close, put in place

    // The stream's buffer.
    void drain();
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize size) override;
    int sync() override;
};

// The whole file at once: the empty string when `bytes` are in place at
// `path`, else the reason.
std::string replaceFile(const std::string& path, const std::string& bytes, InPlace inPlace = InPlace::Refused);

// The outputs of one run, put in place together: each replacement already
// written whole, then all committed in turn while the signals that end a
// program (SIGINT, SIGTERM, SIGHUP; none on Windows) wait, so that a signal
// finds every output new or every one as it was. Returns each one's commit()
// in the order given. A failure while they are put in place (rare: the bytes
// are written by then) can still leave those before it replaced.
std::vector<std::string> commitTogether(const std::vector<FileReplacement*>& replacements);

// Whole files replaced together (commitTogether): each one's commit() in
// the order given.
struct WholeFile {
    std::string path;
    std::string bytes;
};
std::vector<std::string> replaceFilesTogether(const std::vector<WholeFile>& files);

// Holds off, in this thread while it lives, the signals that end a program
// (see commitTogether); nothing on Windows.
class EndingSignalsHeld {
public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    struct Mask;  // per system
    std::unique_ptr<Mask> previous_;
};

// Whether the two names lead to one file, so that writing one would replace
// the other: where both exist, the same device and inode (the same volume
// and file index on Windows), following links; otherwise the same path once
// links, "." and ".." are resolved (two spellings of one file still to be
// made). An empty name is no file.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace queuecalc
