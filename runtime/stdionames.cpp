// snprintf and strtod under the names MinGW's <stdio.h> and <stdlib.h> give them, served by format.cpp.
//
// Those headers make snprintf and strtod inline calls of __mingw_vsnprintf and
// __mingw_strtod. A file of its own, so that a file that formats nothing
// (KELDR32.DLL) does not take the formatting in with the heap.
#include <cstdarg>
#include <cstddef>

#include "format.h"

extern "C" {

int __mingw_vsnprintf(char* out, size_t size, const char* format, va_list args)
{
    return runtime::FormatV(out, size, format, args);
}

double __mingw_strtod(const char* text, char** end)
{
    return runtime::ParseDecimal(text, end);
}

}  // extern "C"
