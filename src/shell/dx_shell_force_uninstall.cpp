// -force_uninstall: removes the product through the system installer, started
// hidden; it does not wait for the installer.

#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_elevation.h"
#include "shell/dx_shell_output.h"
#include "base/qv_message_box.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

namespace {

const wchar_t UNINSTALL_PARAMETERS[] = L"/C MsiExec.exe /norestart /x{5A1E7C20-3B9D-4E61-8F02-C7D4A9B31E58}";
const char NO_RIGHTS[] = "You need local administrator rights to force uninstall with this command\n";

} // namespace

bool dx_shell_force_uninstall(bool gui, bool no_elevate)
{
    qv_trace_enter(L"dx_shell_force_uninstall", 0);
    bool admin = dx_shell_is_admin();
    // The system's own command interpreter, never one that a search would find first.
    QV_path system_folder(CSIDL_SYSTEM, FALSE);
    QV_path shell = join(system_folder, L"cmd.exe");
    if ((admin || !no_elevate) && system_folder.has_text()
        && dx_shell_launch(admin ? L"open" : L"runas", shell.c_str(), UNINSTALL_PARAMETERS))
        return true;
    if (gui)
        qv_error_box(QV_string(NO_RIGHTS), QV_PRODUCT_CAPTION, nullptr, nullptr);
    else
        dx_shell_write_console(NO_RIGHTS);
    return false;
}
