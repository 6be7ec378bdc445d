// progress_command <collect|copy|delete> <gui|console> <ms a step> [--press-cancel] [--ctrl-c-at <step>]
//                  <operands...>
//
// Runs one long command of the program in this process, as its dispatcher does
// (inside a COM scope), with every progress step slowed by the given ms, so that
// a short run lasts seconds: collect <cabinet> <temporary folder> (the user trace
// file is read from the temporary folder given), copy <source> <destination>,
// delete <path> (as the elevated run does, not asking for elevation).
// --ctrl-c-at sends Ctrl+C to its own console before that step, as a person at
// the console would. --press-cancel (gui) waits for the progress dialog, presses
// its Cancel as a person would, then answers the box the command shows; it writes
// "[progress dialog]" with what the dialog showed, and "[box]" with the box's text.
// The work waits at its first step after the dialog appears until Cancel was
// pressed: a press that crossed the end of the work would test nothing, and under
// Wine the dialog deadlocks when it is stopped while it handles the press.
#include "base/qv_progress.h"
#include "shell/dx_shell_commands.h"

#include "qv_box_watch.h"

#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

namespace {

DWORD g_step_ms = 0;
int g_ctrl_c_at = 0;
std::atomic<int> g_step{0};
HANDLE g_pressed = nullptr;  // set once the watcher pressed Cancel or gave up

void slow_step()
{
    if (++g_step == g_ctrl_c_at)
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    if (g_pressed && !qv_find_progress_dialogs(GetCurrentProcessId()).empty())
        WaitForSingleObject(g_pressed, 30000);
    Sleep(g_step_ms);
}

// Waits up to about twenty seconds for the first window find() gives.
template <typename Find>
HWND wait_for(Find find)
{
    for (int i = 0; i < 1000; ++i, Sleep(20)) {
        std::vector<HWND> found = find();
        if (!found.empty())
            return found.front();
    }
    return nullptr;
}

std::wstring cancel_and_answer()
{
    DWORD pid = GetCurrentProcessId();
    HWND dialog = wait_for([pid] { return qv_find_progress_dialogs(pid); });
    if (!dialog) {
        SetEvent(g_pressed);
        return L"[no progress dialog]\n";
    }
    Sleep(100);  // lets the dialog lay out its lines
    std::wstring seen = L"[progress dialog]\n" + qv_progress_dialog_text(dialog) + L"\n";
    qv_press_cancel(dialog);
    SetEvent(g_pressed);
    HWND box = wait_for([pid] { return qv_find_boxes(pid); });
    if (!box)
        return seen + L"[no box]\n";
    return seen + L"[box]\n" + qv_answer_box(box).text + L"\n";
}

bool run(const std::wstring& command, bool gui, wchar_t** operands)
{
    if (command == L"collect") {
        SetEnvironmentVariableW(L"TMP", operands[1]);
        SetEnvironmentVariableW(L"TEMP", operands[1]);
        dx_shell_collect_user_mode_trace(gui, operands[0]);
    } else if (command == L"copy") {
        dx_shell_blind_copy(gui, QV_path(operands[0]), QV_path(operands[1]));
    } else if (command == L"delete") {
        dx_shell_force_delete(gui, operands[0], true);
    } else {
        return false;
    }
    return true;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 6) {
        std::fputs("usage: progress_command <collect|copy|delete> <gui|console> <ms> [options] <operands...>\n", stderr);
        return 2;
    }
    bool gui = std::wcscmp(argv[2], L"gui") == 0;
    g_step_ms = static_cast<DWORD>(_wtoi(argv[3]));
    bool press_cancel = false;
    int at = 4;
    for (; at < argc && argv[at][0] == L'-' && argv[at][1] == L'-'; ++at) {
        if (std::wcscmp(argv[at], L"--press-cancel") == 0)
            press_cancel = true;
        else if (std::wcscmp(argv[at], L"--ctrl-c-at") == 0 && at + 1 < argc)
            g_ctrl_c_at = _wtoi(argv[++at]);
    }
    if (argc - at < 1)
        return 2;
    CoInitialize(nullptr);
    qv_progress_step_delay = slow_step;
    std::wstring watched;
    std::thread watch;
    if (press_cancel) {
        g_pressed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        watch = std::thread([&watched] { watched = cancel_and_answer(); });
    }
    bool known = run(argv[1], gui, argv + at);
    if (watch.joinable())
        watch.join();
    std::fputws(watched.c_str(), stdout);
    CoUninitialize();
    return known ? 0 : 2;
}
