// Starts the prefix's desktop and services and ends. Run with every descriptor on
// /dev/null right after a new server starts: those processes outlive the programs
// that start them and would otherwise hold a caller's output pipe open.
#include <windows.h>

#include <objbase.h>

int main()
{
    CoInitialize(nullptr);
    GetDesktopWindow();
    CoUninitialize();
    return 0;
}
