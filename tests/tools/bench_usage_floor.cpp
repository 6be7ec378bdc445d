// Baseline for scripts/bench: the least a console program showing the usage text
// must do (COM initialisation, the wide command line split, the bytes out).
#include "shell/dx_shell_output.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>

int main()
{
    CoInitialize(nullptr);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    WriteFile(out, DX_SHELL_USAGE_CONSOLE, static_cast<DWORD>(strlen(DX_SHELL_USAGE_CONSOLE)), &written, nullptr);
    LocalFree(argv);
    CoUninitialize();
    return 0;
}
