// Reading a string value of the browser's registration.
#pragma once
#include <windows.h>

namespace keldr {

// A REG_SZ value as a new NUL-terminated malloc'd string (the caller frees
// it), or nullptr when the key or value is missing, of another type, empty or
// unreadable. valueName nullptr reads the key's default value.
char* ReadRegString(HKEY root, const char* subkey, const char* valueName);

}  // namespace keldr
