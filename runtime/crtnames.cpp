// The C library's heap, memory and string functions that the program's code and the compiler call, over Win32.
//
// The compiler itself may call memcpy, memmove, memset and memcmp for copies
// and comparisons; the layer is compiled so that none of these loops is
// turned back into a call of itself (runtime/CMakeLists.txt).
#include <windows.h>

#include <cstddef>

extern "C" {

// The heap: the process heap, which Windows serializes between threads.
void* malloc(size_t size)
{
    return ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1);
}

void free(void* block)
{
    if (block)
        ::HeapFree(::GetProcessHeap(), 0, block);
}

void* memcpy(void* to, const void* from, size_t count)
{
    unsigned char* t = static_cast<unsigned char*>(to);
    const unsigned char* f = static_cast<const unsigned char*>(from);
    while (count--)
        *t++ = *f++;
    return to;
}

void* memmove(void* to, const void* from, size_t count)
{
    unsigned char* t = static_cast<unsigned char*>(to);
    const unsigned char* f = static_cast<const unsigned char*>(from);
    if (t < f) {
        while (count--)
            *t++ = *f++;
    } else {
        while (count--)
            t[count] = f[count];
    }
    return to;
}

void* memset(void* to, int value, size_t count)
{
    unsigned char* t = static_cast<unsigned char*>(to);
    while (count--)
        *t++ = static_cast<unsigned char>(value);
    return to;
}

int memcmp(const void* a, const void* b, size_t count)
{
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; count; --count, ++x, ++y) {
        if (*x != *y)
            return *x < *y ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* block, int value, size_t count)
{
    const unsigned char* p = static_cast<const unsigned char*>(block);
    for (; count; --count, ++p) {
        if (*p == static_cast<unsigned char>(value))
            return const_cast<unsigned char*>(p);
    }
    return nullptr;
}

size_t strlen(const char* s)
{
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

int strncmp(const char* a, const char* b, size_t count)
{
    for (; count; --count, ++a, ++b) {
        const unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            break;
    }
    return 0;
}

int strcmp(const char* a, const char* b)
{
    return strncmp(a, b, static_cast<size_t>(-1));
}

char* strchr(const char* s, int c)
{
    for (;; ++s) {
        if (*s == static_cast<char>(c))
            return const_cast<char*>(s);
        if (!*s)
            return nullptr;
    }
}

char* strstr(const char* text, const char* part)
{
    const size_t n = strlen(part);
    for (; *text; ++text) {
        if (strncmp(text, part, n) == 0)
            return const_cast<char*>(text);
    }
    return n == 0 ? const_cast<char*>(text) : nullptr;
}

}  // extern "C"
