// force_delete_not_admin <path>: the console build's force delete in a process
// that is told it has no administrator rights, so that it makes the real second
// start ("runas") of VlmKdShell.exe from its own folder. Wine cannot give a
// token without the Administrators group. Exit code 0 when the start was made.
#include "base/qv_system_library.h"
#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_elevation.h"
#include "trace/qv_trace.h"

#include <objbase.h>
#include <shellapi.h>

int main()
{
    qv_restrict_library_search();  // as the console build's entry point does
    qv_set_module_handle(GetModuleHandleW(nullptr));
    dx_shell_admin_check = [] { return static_cast<HRESULT>(S_FALSE); };
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 2)
        return 2;
    CoInitialize(nullptr);
    bool started = dx_shell_force_delete(false, argv[1], false);
    CoUninitialize();
    LocalFree(argv);
    return started ? 0 : 1;
}
