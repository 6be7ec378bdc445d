// Keeps one desktop window alive for a whole test run, so that Wine does not start
// and stop its desktop process for every program that loads the shell.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = instance;
    cls.lpszClassName = L"QvDesktopKeeper";
    RegisterClassW(&cls);
    CreateWindowW(L"QvDesktopKeeper", L"keeper", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
