// Entry point of the console build (VlmKdShell.com): results on standard output.
// It splits the wide command line itself, like the GUI build, so that no ANSI
// conversion of the arguments ever changes a path.
#include "base/qv_system_library.h"
#include "shell/dx_shell_dispatch.h"
#include "trace/qv_trace.h"

#include <shellapi.h>
#include <windows.h>

int main()
{
    qv_restrict_library_search();  // before anything can load a library by name
    qv_trace_enter(L"main", 0);
    qv_set_module_handle(GetModuleHandleW(nullptr));
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 0;
    int result = Dx_shell_dispatch(false, argc, argv);
    LocalFree(argv);
    return result;
}
