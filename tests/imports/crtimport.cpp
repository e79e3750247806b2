// A program that takes strlen from MinGW's C runtime (MSVCRT.DLL): the import audit must reject it.
#include <cstring>

int main(int argc, char** argv)
{
    return argc > 0 ? static_cast<int>(std::strlen(argv[0]) & 1) : 0;
}
