// A helper of the tests under Wine: holds a file open the way a spreadsheet
// holds the file it shows (others may read and write it, but not delete or
// rename it), runs a program meanwhile, and ends with that program's exit
// status. Windows only.
//   usage: hold_open FILE PROGRAM [ARGUMENT...]
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: hold_open FILE PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const HANDLE held = ::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_open: cannot open %s (error %lu)\n", argv[1], ::GetLastError());
        return 2;
    }
    // Plain arguments only: each is quoted, none may hold a quotation mark.
    std::string commandLine;
    for (int i = 2; i < argc; ++i) commandLine += (i > 2 ? " \"" : "\"") + std::string(argv[i]) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &child)) {
        std::fprintf(stderr, "hold_open: cannot start %s (error %lu)\n", argv[2], ::GetLastError());
        return 2;
    }
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 2;
    ::GetExitCodeProcess(child.hProcess, &status);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    ::CloseHandle(held);
    return static_cast<int>(status);
}
