# Cross-build for 64-bit Windows with MinGW-w64 from a Debian machine
# (packages g++-mingw-w64-x86-64-posix, and wine64 to run the tests):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUEUECALC_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model: std::thread needs it (the win32 variant has none).
set(CMAKE_C_COMPILER ${QUEUECALC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUEUECALC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUEUECALC_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUEUECALC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs that run on a bare Windows machine: the C++ runtime, libgcc and
# the thread library are linked in, so only system DLLs remain.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
