#pragma once
// Running the two builds of the program from the tests.

#include "qv_child.h"

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
