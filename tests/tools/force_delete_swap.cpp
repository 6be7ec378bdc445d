// force_delete_swap console|gui <tree> <listed> <go>: force delete of <tree>
// (plain or "\\?\" form) as administrator, reporting as the console or the GUI
// build does, stopped once between the listing of <tree> and the descent into it:
// the removal's seam writes a line to the pipe <listed> and waits until the pipe
// <go> gives one back. Both are host pipes (mkfifo): the caller changes the tree
// in between (a folder link made on the host is the only kind Wine has) and no
// side waits on a clock. Message boxes are written to standard output
// ("[message box] <caption>", then the text) instead of shown. Exit code 0 when
// the run was stopped there.
#include "base/qv_message_box.h"
#include "base/qv_path.h"
#include "base/qv_system_library.h"
#include "base/qv_tree_delete.h"
#include "shell/dx_shell_commands.h"
#include "trace/qv_trace.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <cwchar>

namespace {

wchar_t** g_argv = nullptr;
bool g_stopped = false;

// Writes a line to the pipe, or waits for one from it. Wine opens a pipe for
// reading without waiting for a writer, and a read before the writer came answers
// nothing: the read is asked again until the line is there.
bool pipe_line(const wchar_t* pipe, bool write)
{
    HANDLE end = CreateFileW(pipe, write ? GENERIC_WRITE : GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (end == INVALID_HANDLE_VALUE)
        return false;
    char line[16] = "listed\n";
    DWORD done = 0;
    BOOL ok = write ? WriteFile(end, line, 7, &done, nullptr) : FALSE;
    for (unsigned long tries = 0; !write && done == 0 && tries < 100000000; ++tries)
        ok = ReadFile(end, line, sizeof line, &done, nullptr);
    CloseHandle(end);
    return ok && done > 0;
}

void stop_when_listed(const wchar_t* folder)
{
    if (g_stopped || _wcsicmp(folder, qv_plain_path(QV_string(g_argv[2])).c_str()) != 0)
        return;
    g_stopped = pipe_line(g_argv[3], true) && pipe_line(g_argv[4], false);
    if (!g_stopped)
        std::printf("the pipes failed: %lu\n", GetLastError());
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
    _setmode(_fileno(stdout), _O_BINARY);  // a box's "\n" stays one byte, as the console build writes it
    qv_restrict_library_search();
    qv_set_module_handle(GetModuleHandleW(nullptr));
    int argc = 0;
    g_argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!g_argv || argc != 5)
        return 2;
    qv_message_box_w = print_box;
    qv_delete_tree_listed = stop_when_listed;
    CoInitialize(nullptr);
    dx_shell_force_delete(std::wcscmp(g_argv[1], L"gui") == 0, g_argv[2], true);
    CoUninitialize();
    LocalFree(g_argv);
    return g_stopped ? 0 : 1;
}
