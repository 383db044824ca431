// File replacement on Windows: temporary file, FlushFileBuffers, MoveFileExW.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "io/file_replace.h"

namespace queuecalc {

namespace {

// The system's text for an error code, in the user's language, without the
// final full stop and line end it carries.
std::string reasonOf(DWORD error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length > 0 && text != nullptr ? std::string(text, length)
                                                       : "system error " + std::to_string(error);
    if (text != nullptr) ::LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' ||
                               reason.back() == '.'))
        reason.pop_back();
    return reason;
}

// Narrow names are in the code page the system's narrow file functions use,
// as for fopen, so that a name from the command line means the same file.
bool toWide(const std::string& narrow, std::wstring& wide) {
    const UINT codePage = ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    if (narrow.empty()) {
        wide.clear();
        return true;
    }
    const int size = static_cast<int>(narrow.size());
    const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide.assign(static_cast<std::size_t>(length), L'\0');
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(), size, &wide[0], length) == length;
}

std::size_t nameStart(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? 0 : separator + 1;
}

// Overwrites the file itself: the way when its folder takes no new file.
// Opened without truncation, which would fail on a hidden or system file,
// and cut to the new length when finished.
HANDLE openInPlace(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

}  // namespace

struct FileReplacement::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring temp;    // the new file; empty when the target is written in place
    std::wstring target;
};

// Always a named file (NewFile has no other kind here).
FileReplacement::FileReplacement(const std::string& path, NewFile, InPlace inPlace)
    : handle_(std::make_unique<Handle>()), stream_(this) {
    Handle& h = *handle_;
    if (!toWide(path, h.target)) {
        failure_ = reasonOf(ERROR_NO_UNICODE_TRANSLATION);
        return;
    }
    const DWORD attributes = ::GetFileAttributesW(h.target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        failure_ = "a folder of that name is in the way";
        return;
    }
    // A read-only file is kept, as a plain overwrite would keep it.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        failure_ = reasonOf(ERROR_ACCESS_DENIED);
        return;
    }

    // ".NAME.<process>-<attempt>" beside the target; CREATE_NEW never opens a
    // file another writer made, so a name in use only costs another attempt.
    const std::size_t name = nameStart(h.target);
    const std::wstring stem = h.target.substr(0, name) + L"." + h.target.substr(name) + L"." +
                              std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (unsigned attempt = 0;; ++attempt) {
        const std::wstring temp = stem + std::to_wstring(attempt);
        h.file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h.file != INVALID_HANDLE_VALUE) {
            h.temp = temp;
            return;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && inPlace == InPlace::Refused) {  // the folder takes no new file
            failure_ = "its folder takes no new file (" + reasonOf(error) +
                       "), and the file is not overwritten in place, where a failure could leave it cut short";
            return;
        }
        if (error == ERROR_ACCESS_DENIED) {
            h.file = openInPlace(h.target);
            if (h.file == INVALID_HANDLE_VALUE) failure_ = reasonOf(::GetLastError());
            return;
        }
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 1000) {
            failure_ = reasonOf(error);
            return;
        }
    }
}

FileReplacement::~FileReplacement() {
    if (handle_->file != INVALID_HANDLE_VALUE) ::CloseHandle(handle_->file);
    if (!handle_->temp.empty()) ::DeleteFileW(handle_->temp.c_str());
}

void FileReplacement::append(const char* bytes, std::size_t size) {
    // WriteFile takes at most a DWORD per call; 1 GiB pieces stay well below.
    const std::size_t kPiece = std::size_t{1} << 30;
    while (size > 0) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(size < kPiece ? size : kPiece);
        if (::WriteFile(handle_->file, bytes, piece, &written, nullptr) == 0 || written == 0) {
            failure_ = reasonOf(::GetLastError());
            return;
        }
        bytes += written;
        size -= written;
    }
}

void FileReplacement::finish() {
    Handle& h = *handle_;
    if (h.file == INVALID_HANDLE_VALUE) return;  // nothing was opened: failure_ says why
    // Written in place, the file is cut to the new length.
    bool ok = failure_.empty() && (!h.temp.empty() || ::SetEndOfFile(h.file) != 0) &&
              ::FlushFileBuffers(h.file) != 0;
    if (failure_.empty() && !ok) failure_ = reasonOf(::GetLastError());
    if (::CloseHandle(h.file) == 0 && ok) {
        ok = false;
        failure_ = reasonOf(::GetLastError());
    }
    h.file = INVALID_HANDLE_VALUE;
    if (!ok || h.temp.empty()) return;  // the destructor removes a new file
    // One rename replaces the earlier file, and returns only once it is on
    // disk. It is refused while another program holds the earlier file open
    // without delete sharing; the earlier file then stays as it was.
    if (::MoveFileExW(h.temp.c_str(), h.target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        failure_ = reasonOf(::GetLastError());
        return;
    }
    h.temp.clear();
}

// Nothing is held here: a console's Ctrl-C ends a program between any two
// steps.
struct EndingSignalsHeld::Mask {};
EndingSignalsHeld::EndingSignalsHeld() = default;
EndingSignalsHeld::~EndingSignalsHeld() = default;

}  // namespace queuecalc
