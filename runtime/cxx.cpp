// What the program's C++ takes from the compiler's C++ library, over Win32 and the heap of crtnames.cpp.
//
// The shipping files are built without exceptions: where the library would
// throw (no memory, a string past its maximum size) the program ends at once,
// as an uncaught exception would have ended it. std::string's members are
// instantiated here, compiled like the rest, rather than taken from
// libstdc++.a, whose copy would bring the exception machinery with it.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

#include "start.h"

template class std::basic_string<char>;

void* operator new(size_t size)
{
    void* block = std::malloc(size);
    if (!block)
        runtime::FatalEnd();
    return block;
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block, size_t) noexcept
{
    std::free(block);
}

namespace std {
void __throw_bad_alloc()
{
    runtime::FatalEnd();
}
void __throw_bad_array_new_length()
{
    runtime::FatalEnd();
}
void __throw_length_error(const char*)
{
    runtime::FatalEnd();
}
void __throw_logic_error(const char*)
{
    runtime::FatalEnd();
}
void __throw_out_of_range(const char*)
{
    runtime::FatalEnd();
}
void __throw_out_of_range_fmt(const char*, ...)
{
    runtime::FatalEnd();
}
}  // namespace std

extern "C" void __cxa_pure_virtual()
{
    runtime::FatalEnd();
}
