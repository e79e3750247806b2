// Reading a string value of the browser's registration.
#include "regstring.h"

#include <stdlib.h>

namespace keldr {

char* ReadRegString(HKEY root, const char* subkey, const char* valueName)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    char* text = nullptr;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
        size != 0) {
        // One byte more than reported: a value stored without its terminating
        // zero still ends inside the buffer.
        text = static_cast<char*>(malloc(static_cast<size_t>(size) + 1));
        if (text) {
            DWORD read = size;
            if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text), &read) ==
                    ERROR_SUCCESS &&
                type == REG_SZ && read <= size) {
                text[read] = '\0';
                // An empty name or command cannot serve: an empty service
                // would even connect to any DDE server.
                if (text[0] == '\0') {
                    free(text);
                    text = nullptr;
                }
            } else {
                free(text);
                text = nullptr;
            }
        }
    }
    RegCloseKey(key);
    return text;
}

}  // namespace keldr
