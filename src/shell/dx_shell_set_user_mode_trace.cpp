// -enable_user_mode_trace (-eut) and -disable_user_mode_trace (-dut).

#include "shell/dx_shell_commands.h"

#include "base/qv_os.h"
#include "shell/dx_shell_output.h"
#include "shell/dx_shell_system_error.h"
#include "shell/dx_shell_trace_files.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

namespace {

const wchar_t ENABLED_GUI[] =
    L"The application is now logging user mode events to the files\n%s and\n%s\n\n"
    L"To stop logging, type VlmKdShell.exe -disable_user_mode_trace\n      ...or just type VlmKdShell.exe -dut";
const wchar_t ENABLED_CONSOLE[] =
    L"\n------------------------------------------------------------------------------\n"
    L" LOGGING: The application is now logging user mode events to the files\n"
    L"          %s and\n"
    L"          %s\n\n"
    L"          To stop logging, type VlmKdShell.com -disable_user_mode_trace\n"
    L"                ...or just type VlmKdShell.com -dut\n"
    L"------------------------------------------------------------------------------\n";
const wchar_t DISABLED_GUI[] =
    L"The application has now stopped logging user mode events to the\nTraceFile.qv files in the temp directories.\n\n";
const char DISABLED_CONSOLE[] =
    "\n------------------------------------------------------------------------------\n"
    " LOGGING: The application has now stopped logging user mode events to the\n"
    "          TraceFile.qv files in the temp directories.\n"
    "------------------------------------------------------------------------------\n";
// Shown when the system has no text for the error that kept a switch.
const wchar_t ENABLE_FAILED[] = L"enable_user_mode_trace failed Error: 0x%08x\n";
const wchar_t DISABLE_FAILED[] = L"disable_user_mode_trace failed Error: 0x%08x\n";

// Every enable starts both files afresh, also when tracing is on already; a file
// that is not there is no failure. A switch that cannot be written is: the user
// is shown why instead of being told tracing is on.
void enable_trace(bool gui)
{
    QV_path user = dx_shell_user_trace_file();
    QV_path system = dx_shell_system_trace_file();
    qv_delete_file(user.c_str());
    qv_delete_file(system.c_str());
    DWORD failure = qv_enable_user_mode_trace();
    if (failure != 0) {
        dx_shell_report_system_error(gui, failure, ENABLE_FAILED);
        return;
    }
    QV_path system_long = system.long_path();
    QV_path user_long = user.long_path();
    if (gui)
        dx_shell_notice_box(QV_stringf(ENABLED_GUI, system_long.c_str(), user_long.c_str()).c_str());
    else
        dx_shell_write_console(QV_stringf(ENABLED_CONSOLE, system_long.c_str(), user_long.c_str()).c_str());
}

// The files stay where they are, so that they can be gathered afterwards.
void disable_trace(bool gui)
{
    DWORD failure = qv_disable_user_mode_trace();
    if (failure != 0) {
        dx_shell_report_system_error(gui, failure, DISABLE_FAILED);
        return;
    }
    if (gui)
        dx_shell_notice_box(DISABLED_GUI);
    else
        dx_shell_write_console(DISABLED_CONSOLE);
}

}  // namespace

QV_path dx_shell_user_trace_file()
{
    return join(QV_path(QV_path::temp_directory), L"TraceFile.qv");
}

QV_path dx_shell_system_trace_file()
{
    return join(QV_path(CSIDL_WINDOWS, FALSE), L"Temp\\TraceFile.qv");
}

void dx_shell_set_user_mode_trace(bool gui, bool enable)
{
    if (enable)
        enable_trace(gui);
    else
        disable_trace(gui);
}
