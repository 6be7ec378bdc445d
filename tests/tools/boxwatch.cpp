// boxwatch <program> [arguments...]: runs the program, passes its output through,
// prints what every message box it shows says, presses OK, and returns the
// program's exit code.
#include "qv_child.h"

#include "shell/dx_shell_output.h"

#include <shellapi.h>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) {
        dx_shell_write_error(L"usage: boxwatch <program> [arguments...]\n");
        return 2;
    }
    std::vector<std::wstring> args(argv + 2, argv + argc);
    QV_run_result run = qv_run_child(qv_command_line(argv[1], args), nullptr, 600000);
    LocalFree(argv);
    if (!run.started) {
        dx_shell_write_error(L"boxwatch: the program could not be started\n");
        return 2;
    }
    dx_shell_write_console(run.out.c_str());
    for (const QV_box& box : run.boxes) {
        std::wstring shown = L"[message box] " + box.caption + L"\n" + box.text + L"\n[OK]\n";
        dx_shell_write_console(shown.c_str());
    }
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    WriteFile(err, run.err.data(), static_cast<DWORD>(run.err.size()), &written, nullptr);
    return static_cast<int>(run.exit_code);
}
