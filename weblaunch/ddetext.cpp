// Text handling of the browser's DDE exchange: the open command and the window-information reply.
#include "ddetext.h"

#include <stdlib.h>
#include <string.h>

namespace keldr {

char* BuildDdeCommand(const char* templ, const char* address)
{
    const size_t templLen = strlen(templ);
    const size_t addressLen = strlen(address);
    const char* marker = strstr(templ, "%1");
    // Without "%1" the registration asks for a fixed command, as the shell
    // would send it; with one, exactly one replacement fits the size.
    const size_t size = marker ? templLen - 2 + addressLen + 1 : templLen + 1;
    char* command = static_cast<char*>(malloc(size));
    if (!command)
        return nullptr;
    if (!marker) {
        memcpy(command, templ, templLen + 1);
        return command;
    }
    const size_t head = static_cast<size_t>(marker - templ);
    memcpy(command, templ, head);
    memcpy(command + head, address, addressLen);
    memcpy(command + head + addressLen, marker + 2, templLen - head - 2 + 1);
    return command;
}

TitleSpan FindWindowInfoTitle(const char* reply, size_t size)
{
    const TitleSpan none{false, 0, 0};
    if (!reply)
        return none;
    // CF_TEXT ends at its NUL; DDE data may be padded beyond it.
    const void* nul = memchr(reply, '\0', size);
    const size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - reply) : size;
    if (len < 2)
        return none;
    const void* q = memchr(reply + 1, '"', len - 1);
    if (!q)
        return none;
    const size_t close = static_cast<size_t>(static_cast<const char*>(q) - reply);
    // The end of the first field must be followed by ," opening the second.
    if (close + 2 >= len || reply[close + 1] != ',' || reply[close + 2] != '"')
        return none;
    const size_t start = close + 3;
    const void* end = memchr(reply + start, '"', len - start);
    if (!end)
        return none;
    return TitleSpan{true, start, static_cast<size_t>(static_cast<const char*>(end) - reply) - start};
}

}  // namespace keldr
