# Cross-compiling for i686 Windows with MinGW-w64, win32 thread model: the
# shipping files (no winpthreads, whose imports Windows 98 lacks).
set(KORVANE_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/i686-w64-mingw32.cmake)
