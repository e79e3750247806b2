// A program that imports GetTickCount64 (Windows Vista): the import audit must reject it.
#include <windows.h>

int main()
{
    return static_cast<int>(::GetTickCount64() & 1);
}
