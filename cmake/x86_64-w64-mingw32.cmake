# Cross-compiling for x86_64 Windows with MinGW-w64; thread model posix unless
# KORVANE_THREAD_MODEL says win32 (cmake/x86_64-w64-mingw32-win32.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANE_TRIPLE x86_64-w64-mingw32)
if(NOT KORVANE_THREAD_MODEL)
    set(KORVANE_THREAD_MODEL posix)
endif()
set(CMAKE_C_COMPILER   ${KORVANE_TRIPLE}-gcc-${KORVANE_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${KORVANE_TRIPLE}-g++-${KORVANE_THREAD_MODEL})
set(CMAKE_RC_COMPILER  ${KORVANE_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANE_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Wine through the project's wrapper: the 64-bit loader where the host runs no
# 32-bit programs, and exit code 77 (a skip) for an i686 program there.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/bin/wine)
