// exit_code <program> [arguments...]: runs the program and prints its exit code in
// decimal, whole: a Unix parent of Wine sees only the low 8 bits of it.
#include "qv_child.h"

#include "shell/dx_shell_output.h"

#include <shellapi.h>

#include <string>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 2;
    std::vector<std::wstring> args(argv + 2, argv + argc);
    QV_run_result run = qv_run_child(qv_command_line(argv[1], args), nullptr, 600000);
    LocalFree(argv);
    if (!run.started || run.timed_out)
        return 2;
    dx_shell_write_console((std::to_wstring(run.exit_code) + L"\n").c_str());
    return 0;
}
