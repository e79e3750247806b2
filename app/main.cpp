// Program entry: the application object runs the main dialog.
#include "benchapp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    theApp.InitInstance();
    return 0;
}
