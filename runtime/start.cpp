// The static constructors, the exit list and the fatal end that both shipping files' entry points use.
#include "start.h"

#include <windows.h>

#include <cstdlib>

// The linker frames the .ctors section with these: a -1, the constructors, a 0.
extern "C" void (*__CTOR_LIST__[])();

namespace {

// One registered exit function; the list's head is the latest.
struct ExitEntry {
    void (*function)(void*);
    void* argument;
    ExitEntry* next;
};
ExitEntry* g_exitList = nullptr;

// Only the start-up's constructors register, on the one thread that runs
// them: a function's static object would need __cxa_guard_acquire, which
// this layer leaves out, so the link would fail before two threads could race here.
int Register(void (*function)(void*), void* argument)
{
    ExitEntry* entry = static_cast<ExitEntry*>(std::malloc(sizeof(ExitEntry)));
    if (!entry)
        return -1;
    *entry = ExitEntry{function, argument, g_exitList};
    g_exitList = entry;
    return 0;
}

void CallPlain(void* function)
{
    reinterpret_cast<void (*)()>(function)();
}

}  // namespace

namespace runtime {

void RunConstructors()
{
    // Counted first, then run from the last: what MinGW's __do_global_ctors does.
    size_t count = 0;
    while (__CTOR_LIST__[count + 1])
        ++count;
    for (size_t i = count; i >= 1; --i)
        __CTOR_LIST__[i]();
}

void RunExitList()
{
    while (ExitEntry* entry = g_exitList) {
        g_exitList = entry->next;
        entry->function(entry->argument);
        std::free(entry);
    }
}

void FatalEnd()
{
    ::ExitProcess(3);
}

}  // namespace runtime

extern "C" {

int atexit(void (*function)())
{
    return Register(CallPlain, reinterpret_cast<void*>(function));
}

void abort()
{
    runtime::FatalEnd();
}

}  // extern "C"
