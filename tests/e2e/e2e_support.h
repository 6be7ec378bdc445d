#pragma once
// Running the two builds of the program from the tests.

#include "qv_child.h"
#include "qv_test_text.h"

#include <string>
#include <vector>

// The product's install folder, where the package puts both builds and the modules.
inline const wchar_t* const QV_INSTALL_FOLDER = L"C:\\Program Files\\Velmora\\Orrisguard";

inline std::wstring console_build()
{
    return std::wstring(QV_INSTALL_FOLDER) + L"\\VlmKdShell.com";
}

inline std::wstring gui_build()
{
    return std::wstring(QV_INSTALL_FOLDER) + L"\\VlmKdShell.exe";
}

// Wine now and then fails a process start under load: exit code 1, no output, no
// box, no effect. The program itself always exits with 0, so exactly that signature
// is tried once more; anything else is the program's own result. (A start that
// never happened at all is tried again by qv_run_child itself.)
inline QV_run_result run_program(const std::wstring& command_line, const wchar_t* cwd)
{
    QV_run_result run = qv_run_child(command_line, cwd);
    if (run.started && run.exit_code == 1 && run.out.empty() && run.err.empty() && run.boxes.empty())
        run = qv_run_child(command_line, cwd);
    return run;
}

inline QV_run_result run_console(const std::vector<std::wstring>& args, const wchar_t* cwd = nullptr)
{
    return run_program(qv_command_line(console_build(), args), cwd);
}

inline QV_run_result run_gui(const std::vector<std::wstring>& args, const wchar_t* cwd = nullptr)
{
    return run_program(qv_command_line(gui_build(), args), cwd);
}

inline std::wstring widen_ascii(const char* text)
{
    return std::wstring(text, text + strlen(text));
}
