// Text handling of the browser's DDE exchange: the open command and the window-information reply.
#pragma once
#include <stddef.h>

namespace keldr {

// The DDE command for an address: the template with its first "%1" replaced
// by the address, or the template as it stands when it holds no "%1".
// Returns a malloc'd string the caller frees, or nullptr when out of memory.
char* BuildDdeCommand(const char* templ, const char* address);

struct TitleSpan {
    bool found;
    size_t offset;  // into the reply
    size_t length;  // in characters, up to the closing quote
};

// Locates the second field (the window title) of a window-information reply
// of the form "first","second",... within its first `size` bytes; the text
// ends early at a NUL. Not found when the reply lacks the quotes around it.
TitleSpan FindWindowInfoTitle(const char* reply, size_t size);

}  // namespace keldr
