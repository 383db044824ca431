// File replacement on Windows: temporary file, FlushFileBuffers, MoveFileExW.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "report/file_replace.h"

namespace queuecalc {

namespace {

const std::string kWritten;  // the empty reason: no failure

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

// Writes all bytes, flushes them to disk and closes; on any failure closes,
// deletes `temp` (unless empty) and gives the reason.
std::string writeAndClose(HANDLE file, const std::string& bytes, const std::wstring& temp,
                          bool truncateAfter) {
    // WriteFile takes at most a DWORD per call; 1 GiB pieces stay well below.
    const std::size_t kPiece = std::size_t{1} << 30;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    bool ok = true;
    while (ok && left > 0) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(left < kPiece ? left : kPiece);
        ok = ::WriteFile(file, p, piece, &written, nullptr) != 0 && written > 0;
        p += written;
        left -= written;
    }
    ok = ok && (!truncateAfter || ::SetEndOfFile(file) != 0);
    ok = ok && ::FlushFileBuffers(file) != 0;
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    if (::CloseHandle(file) == 0 && ok) {
        ok = false;
        error = ::GetLastError();
    }
    if (ok) return kWritten;
    if (!temp.empty()) ::DeleteFileW(temp.c_str());
    return reasonOf(error);
}

// Overwrites the file itself: the way when its folder takes no new file.
std::string writeInPlace(const std::wstring& path, const std::string& bytes) {
    // Opened without truncation, which would fail on a hidden or system file,
    // and cut to the new length once written.
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return reasonOf(::GetLastError());
    return writeAndClose(file, bytes, L"", true);
}

}  // namespace

std::string replaceFile(const std::string& path, const std::string& bytes) {
    std::wstring target;
    if (!toWide(path, target)) return reasonOf(ERROR_NO_UNICODE_TRANSLATION);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "a folder of that name is in the way";
    // A read-only file is kept, as a plain overwrite would keep it.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return reasonOf(ERROR_ACCESS_DENIED);

    // ".NAME.<process>-<attempt>" beside the target; CREATE_NEW never opens a
    // file another writer made, so a name in use only costs another attempt.
    const std::wstring stem = target.substr(0, nameStart(target)) + L"." + target.substr(nameStart(target)) +
                              L"." + std::to_wstring(::GetCurrentProcessId()) + L"-";
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = stem + std::to_wstring(attempt);
        file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) break;
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED) return writeInPlace(target, bytes);
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 1000)
            return reasonOf(error);
    }
    const std::string failure = writeAndClose(file, bytes, temp, false);
    if (!failure.empty()) return failure;
    // One rename replaces the earlier file, and returns only once it is on
    // disk. It is refused while another program holds the earlier file open
    // without delete sharing; the earlier file then stays as it was.
    if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        return reasonOf(error);
    }
    return kWritten;
}

}  // namespace queuecalc
