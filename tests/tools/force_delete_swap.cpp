// force_delete_swap console|gui <tree> <listed folder> <away> <link>: force
// delete of <tree> (plain or "\\?\" form) as administrator, reporting as the
// console or the GUI build does, while the tree's owner acts between the listing
// of <tree> and the descent into it: the listed folder is moved to <away> and
// <link>, a folder link made outside the tree, is moved in under its name.
// Message boxes are written to standard output ("[message box] <caption>", then
// the text) instead of shown. Exit code 0 when the swap was made.
#include "base/qv_message_box.h"
#include "base/qv_path.h"
#include "base/qv_system_library.h"
#include "base/qv_tree_delete.h"
#include "shell/dx_shell_commands.h"
#include "trace/qv_trace.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace {

wchar_t** g_argv = nullptr;
bool g_swapped = false;

void swap_when_listed(const wchar_t* folder)
{
    if (g_swapped || _wcsicmp(folder, qv_plain_path(QV_string(g_argv[2])).c_str()) != 0)
        return;
    g_swapped = MoveFileW(g_argv[3], g_argv[4]) && MoveFileW(g_argv[5], g_argv[3]);
    if (!g_swapped)
        std::printf("the swap failed: %lu\n", GetLastError());
}

int WINAPI print_box(HWND, LPCWSTR text, LPCWSTR caption, UINT)
{
    std::printf("[message box] %ls\n%ls", caption, text);
    return IDOK;
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    qv_restrict_library_search();
    qv_set_module_handle(GetModuleHandleW(nullptr));
    int argc = 0;
    g_argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!g_argv || argc != 6)
        return 2;
    qv_message_box_w = print_box;
    qv_delete_tree_listed = swap_when_listed;
    CoInitialize(nullptr);
    dx_shell_force_delete(std::wcscmp(g_argv[1], L"gui") == 0, g_argv[2], true);
    CoUninitialize();
    LocalFree(g_argv);
    return g_swapped ? 0 : 1;
}
