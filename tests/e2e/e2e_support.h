#pragma once
// Running the two builds of the program from the tests.

#include "qv_child.h"

#include <string>
#include <vector>

inline std::wstring console_build()
{
    return qv_sibling_path(L"VlmKdShell.com");
}

inline std::wstring gui_build()
{
    return qv_sibling_path(L"VlmKdShell.exe");
}

inline QV_run_result run_console(const std::vector<std::wstring>& args, const wchar_t* cwd = nullptr)
{
    return qv_run_child(qv_command_line(console_build(), args), cwd);
}

inline QV_run_result run_gui(const std::vector<std::wstring>& args, const wchar_t* cwd = nullptr)
{
    return qv_run_child(qv_command_line(gui_build(), args), cwd);
}

inline std::wstring widen_ascii(const char* text)
{
    return std::wstring(text, text + strlen(text));
}
