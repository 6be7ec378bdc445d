// progress_drive <bytes|entries> <steps> <ms a step> [--gui [--press-cancel]] [--ctrl-c-at <step>]
//                [--say-at <step>]
//
// Runs a slowed loop of the given number of steps under the progress reporter,
// as a command of the console build (or with --gui, of the GUI build) would, and
// then writes its result to standard output the way a command reports: "done"
// with the steps taken, or "stopped at step <n>: " with the system's text for
// ERROR_CANCELLED. A bytes step stands for 64 MB of a copy, an entries step for
// one removed entry. --ctrl-c-at sends Ctrl+C to its own console before that
// step; --say-at writes a line to standard output before that step, as a command
// that reports during its work. --press-cancel waits for the progress dialog,
// presses its Cancel button as a person would, and writes after the result the
// step the dialog was first seen at and what it showed ("[progress dialog at step
// <n>]", its caption and lines, "[Cancel]"). Every step lasts at least its ms, so
// a dialog seen at step n came after at least n - 1 of them.
#include "base/qv_progress.h"
#include "base/qv_system_library.h"
#include "base/qv_system_message.h"
#include "shell/dx_shell_output.h"

#include "qv_box_watch.h"

#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <thread>

namespace {

constexpr ULONGLONG STEP_BYTES = 64ull << 20;

struct Drive {
    QV_progress_unit unit = QV_progress_unit::bytes;
    int steps = 0;
    DWORD step_ms = 0;
    bool gui = false;
    bool press_cancel = false;
    int ctrl_c_at = 0;
    int say_at = 0;
};

DWORD g_step_ms = 0;
std::atomic<int> g_step{0};  // the step the work is at, for the watching thread
void slow_step()
{
    Sleep(g_step_ms);
}

bool read_options(int argc, wchar_t** argv, Drive& drive)
{
    if (argc < 4)
        return false;
    drive.unit = std::wcscmp(argv[1], L"entries") == 0 ? QV_progress_unit::entries : QV_progress_unit::bytes;
    drive.steps = _wtoi(argv[2]);
    drive.step_ms = static_cast<DWORD>(_wtoi(argv[3]));
    for (int i = 4; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--gui") == 0)
            drive.gui = true;
        else if (std::wcscmp(argv[i], L"--press-cancel") == 0)
            drive.press_cancel = true;
        else if (std::wcscmp(argv[i], L"--ctrl-c-at") == 0 && i + 1 < argc)
            drive.ctrl_c_at = _wtoi(argv[++i]);
        else if (std::wcscmp(argv[i], L"--say-at") == 0 && i + 1 < argc)
            drive.say_at = _wtoi(argv[++i]);
        else
            return false;
    }
    return drive.steps > 0;
}

// The step the work stopped at, or 0 when it ran to its end.
int run(const Drive& drive)
{
    QV_progress progress(drive.gui, drive.unit, L"Driving the progress reporter");
    bool bytes = drive.unit == QV_progress_unit::bytes;
    ULONGLONG total = bytes ? STEP_BYTES * static_cast<ULONGLONG>(drive.steps) : 0;
    for (int i = 1; i <= drive.steps; ++i) {
        g_step = i;
        if (i == drive.ctrl_c_at)
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        if (i == drive.say_at)
            dx_shell_write_console("said during the work\n");
        ULONGLONG done = bytes ? STEP_BYTES * static_cast<ULONGLONG>(i) : static_cast<ULONGLONG>(i);
        if (progress.step(done, total) == ERROR_CANCELLED)
            return i;
    }
    return 0;
}

// What the dialog showed when its Cancel was pressed; empty when none came
// within about ten seconds.
std::wstring press_cancel()
{
    for (int i = 0; i < 500; ++i, Sleep(20)) {
        std::vector<HWND> found = qv_find_progress_dialogs(GetCurrentProcessId());
        if (found.empty())
            continue;
        std::wstring seen = L"[progress dialog at step " + std::to_wstring(g_step) + L"] ";
        Sleep(100);  // lets the dialog lay out its lines
        std::wstring text = qv_progress_dialog_text(found.front());
        return qv_press_cancel(found.front()) ? seen + text + L"\n[Cancel]\n" : std::wstring();
    }
    return {};
}

void report(int stopped_at, int steps)
{
    if (stopped_at == 0) {
        dx_shell_write_console(QV_stringf(L"done: %d steps\n", steps).c_str());
        return;
    }
    QV_local system_text = qv_system_message(ERROR_CANCELLED);
    auto* text = static_cast<const wchar_t*>(system_text.get());
    dx_shell_write_console((QV_stringf(L"stopped at step %d: ", stopped_at) + (text ? text : L"")).c_str());
}

} // namespace

int main()
{
    qv_restrict_library_search();  // as the program does: the dialog loads from the system folder
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Drive drive;
    if (!argv || !read_options(argc, argv, drive)) {
        dx_shell_write_error(L"usage: progress_drive <bytes|entries> <steps> <ms a step> [--gui] "
                             L"[--ctrl-c-at <step>] [--say-at <step>]\n");
        return 2;
    }
    LocalFree(argv);
    CoInitialize(nullptr);
    g_step_ms = drive.step_ms;
    qv_progress_step_delay = slow_step;
    std::wstring pressed;
    std::thread watch;
    if (drive.press_cancel)
        watch = std::thread([&pressed] { pressed = press_cancel(); });
    int stopped_at = run(drive);
    if (watch.joinable())
        watch.join();
    report(stopped_at, drive.steps);
    dx_shell_write_console(pressed.c_str());
    CoUninitialize();
    return 0;
}
