// cacheflags: prints (or sets) a drive's flags word as the cache device \\.\KELDR holds it.
//   cacheflags D            prints "D: 00000005"
//   cacheflags --set D 0x24 sets the word, then prints it as read back
//   cacheflags --list       prints the handled drives in the device's order, e.g. "DE"
// Exit code 0 on success; 1 with a message on stderr when the device is absent, the drive is not handled or a
// request fails; 2 for a bad command line.
#include <windows.h>
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { CODE_GET_STATE = 8, CODE_SET_FLAGS = 9, CODE_GET_DRIVES = 11, STATE_SIZE = 24, FLAGS_OFFSET = 16 };

static int Usage(void)
{
    fprintf(stderr, "usage: cacheflags DRIVE | cacheflags --set DRIVE FLAGS | cacheflags --list\n");
    return 2;
}

static int Fail(const char* what)
{
    fprintf(stderr, "cacheflags: %s (error %lu)\n", what, (unsigned long)GetLastError());
    return 1;
}

static int ParseDrive(const char* text, LONG* number)
{
    int c = toupper((unsigned char)text[0]);
    if (c < 'A' || c > 'Z' || (text[1] && !(text[1] == ':' && (!text[2] || (text[2] == '\\' && !text[3])))))
        return 0;
    *number = c - 'A';
    return 1;
}

int main(int argc, char** argv)
{
    BYTE drives[33];
    BYTE state[STATE_SIZE];
    DWORD count = 0, got = 0, i;
    LONG number = -1;
    DWORD flags = 0;
    int set = 0, list = 0, handled = 0;
    HANDLE device;

    if (argc == 2 && strcmp(argv[1], "--list") == 0) {
        list = 1;
    } else if (argc == 4 && strcmp(argv[1], "--set") == 0) {
        char* end;
        unsigned long value;
        set = 1;
        if (!ParseDrive(argv[2], &number))
            return Usage();
        errno = 0;
        value = strtoul(argv[3], &end, 0);
        if (end == argv[3] || *end || errno || value > 0xFFFFFFFFul)
            return Usage();
        flags = (DWORD)value;
    } else if (argc == 2) {
        if (!ParseDrive(argv[1], &number))
            return Usage();
    } else {
        return Usage();
    }

    device = CreateFileA("\\\\.\\KELDR", 0, 0, NULL, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (device == INVALID_HANDLE_VALUE)
        return Fail("the cache device \\\\.\\KELDR cannot be opened");
    if (!DeviceIoControl(device, CODE_GET_DRIVES, NULL, 0, drives, sizeof drives, &count, NULL)) {
        CloseHandle(device);
        return Fail("the drive list request failed");
    }
    if (list) {
        for (i = 0; i < count; ++i)
            putchar(drives[i] < 26 ? 'A' + drives[i] : '?');
        putchar('\n');
        CloseHandle(device);
        return 0;
    }
    for (i = 0; i < count; ++i)
        handled |= drives[i] == (BYTE)number;
    if (!handled) {
        fprintf(stderr, "cacheflags: drive %c: is not handled by the cache device\n", (int)('A' + number));
        CloseHandle(device);
        return 1;
    }
    if (set) {
        LONG request[2] = {number, (LONG)flags};
        if (!DeviceIoControl(device, CODE_SET_FLAGS, request, sizeof request, NULL, 0, &got, NULL)) {
            CloseHandle(device);
            return Fail("the set-flags request failed");
        }
    }
    if (!DeviceIoControl(device, CODE_GET_STATE, &number, sizeof number, state, sizeof state, &got, NULL) ||
        got != STATE_SIZE) {
        CloseHandle(device);
        return Fail("the drive state request failed");
    }
    memcpy(&flags, state + FLAGS_OFFSET, sizeof flags);
    printf("%c: %08lX\n", (int)('A' + number), (unsigned long)flags);
    CloseHandle(device);
    return 0;
}
