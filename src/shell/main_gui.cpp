// Entry point of the GUI build (VlmKdShell.exe): results in message boxes.
#include "base/qv_system_library.h"
#include "shell/dx_shell_dispatch.h"
#include "trace/qv_trace.h"

#include <shellapi.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    qv_restrict_library_search();  // before anything can load a library by name
    qv_trace_enter(L"WinMain", 0);
    qv_set_module_handle(instance);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 0;
    int result = Dx_shell_dispatch(true, argc, argv);
    LocalFree(argv);
    return result;
}
