// -force_delete <path>: removes a file or a folder tree while the driver exempts
// this process, trying the driver's encrypted name first, then the plain file,
// then the folder. Without administrator rights it starts the GUI build again
// through "runas" (unless told not to elevate).

#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_elevation.h"
#include "shell/dx_shell_output.h"
#include "base/qv_command_line.h"
#include "base/qv_message_box.h"
#include "base/qv_os.h"
#include "base/qv_path.h"
#include "base/qv_progress.h"
#include "base/qv_system_message.h"
#include "base/qv_tree_delete.h"
#include "trace/qv_trace.h"

#include <cwchar>

namespace {

constexpr const wchar_t* FORCE_DELETE = L"dx_shell_force_delete";
const wchar_t ENCRYPTED_SUFFIX[] = L"\xECF0";
const char NO_RIGHTS[] = "You need local administrator rights to delete files or folders with this command\n";
const char NO_RIGHTS_CONSOLE_LAUNCH[] = "You need local administrator rights to delete files or folders with this command!\n";

bool is_extended(const wchar_t* path)
{
    return std::wcsncmp(path, L"\\\\?\\", 4) == 0;
}

void report(bool gui, const char* text)
{
    if (gui)
        qv_error_box(QV_string(text), QV_PRODUCT_CAPTION, nullptr, nullptr);
    else
        dx_shell_write_console(text);
}

// Made through the ANSI code page: the runtime's own conversion of a wide
// argument fails on characters outside Latin-1 and would give an empty text.
void report_failure(bool gui, const wchar_t* path)
{
    report(gui, (QV_string(L"Failed to force delete ") + path + L"\n").narrow());
}

// One attempt at a file of that name, removed as itself (a link never by its
// target); a failure leaves its record with the error code.
bool delete_file(const QV_string& name, const wchar_t* path, const wchar_t* as)
{
    DWORD error = qv_delete_one_file(name);
    if (error == ERROR_SUCCESS)
        return true;
    qv_trace_printf(FORCE_DELETE, L"Failed to force delete %s as %s: %d\n", path, as, error);
    return false;
}

bool give_up(const wchar_t* path, DWORD error)
{
    qv_trace_printf(FORCE_DELETE, L"Failed to force delete %s as folder: %d\n", path, static_cast<int>(error));
    return false;
}

// The folder attempt: the tree removed by handle, links as links where the
// system opens them as themselves, nothing outside the path touched whatever
// changes in the tree meanwhile. Every entry that can go goes; the first that
// stayed is named, and its error is the attempt's.
bool delete_tree(const wchar_t* path, const QV_path& full, QV_progress& progress)
{
    QV_string stayed;
    DWORD error = qv_delete_tree(full, &stayed, &progress);
    if (error == ERROR_SUCCESS)
        return true;
    qv_trace_printf(FORCE_DELETE, L"Failed to force delete %s: %s stays: %d\n", path, stayed.c_str(),
                    static_cast<int>(error));
    return give_up(path, error);
}

// The three attempts in order; the first that works ends them.
bool delete_exempted(const wchar_t* path, QV_progress& progress)
{
    QV_path full = is_extended(path) ? QV_path(path) : QV_path(path).full_path();
    return delete_file(QV_string(full.c_str()) + ENCRYPTED_SUFFIX, path, L"encrypted file")
           || delete_file(QV_string(full.c_str()), path, L"plaintext file") || delete_tree(path, full, progress);
}

// A removal stopped by the person at the machine: the failure text names what
// stays, followed by the system's words for a cancelled operation.
void report_cancelled(bool gui, const wchar_t* path)
{
    QV_local system_text = qv_system_message(ERROR_CANCELLED);
    auto* text = static_cast<const wchar_t*>(system_text.get());
    QV_string failure = QV_string(L"Failed to force delete ") + path + L"\n";
    if (gui) {
        qv_error_box(QV_string(failure.narrow()) + (text ? text : L""), QV_PRODUCT_CAPTION, nullptr, nullptr);
        return;
    }
    report(gui, failure.narrow());
    dx_shell_write_error_oem(text ? text : L"");
}

void delete_as_admin(bool gui, const wchar_t* path)
{
    dx_dc_invoke_command(gui, L"exempt_current_process", nullptr);
    QV_progress progress(gui, QV_progress_unit::entries, (QV_string(L"Removing ") + path).c_str());
    bool deleted = delete_exempted(path, progress);
    progress.end();  // before any report, the box in particular
    dx_dc_invoke_command(gui, L"unexempt_current_process", nullptr);
    if (deleted)
        return;
    if (progress.stopped())
        report_cancelled(gui, path);
    else
        report_failure(gui, path);
}

// The GUI build from this program's folder, given the path made absolute: the
// elevated copy may start in another folder.
bool start_elevated(bool gui, const wchar_t* path)
{
    QV_path program = join(QV_path(qv_module_handle()).parent(), L"VlmKdShell.exe");
    QV_string parameters =
        QV_string(L"-force_delete_no_elevate ") + qv_quote_argument(QV_path(path).full_path().c_str());
    if (dx_shell_launch(L"runas", program.c_str(), parameters.c_str()))
        return true;
    report(gui, gui ? NO_RIGHTS : NO_RIGHTS_CONSOLE_LAUNCH);
    return false;
}

// A pattern names other entries than the one meant; a root cannot be removed
// and must never be walked, however it is spelled ("C:\Windows\..", "." in a
// root).
// A "\\?\" operand is judged by its plain form, past the prefix's own "?".
bool refused(const wchar_t* path)
{
    if (!path || !*path)
        return true;
    QV_path typed(qv_plain_path(QV_string(path)));
    if (typed.is_empty() || std::wcspbrk(typed.c_str(), L"*?"))
        return true;
    return typed.is_root() || typed.full_path().is_root();
}

} // namespace

bool dx_shell_force_delete(bool gui, const wchar_t* path, bool no_elevate)
{
    qv_trace_enter(FORCE_DELETE, 0);
    if (refused(path)) {
        report_failure(gui, path ? path : L"");
        return false;
    }
    if (dx_shell_is_admin()) {
        delete_as_admin(gui, path);
        return true;
    }
    if (!no_elevate)
        return start_elevated(gui, path);
    report(gui, NO_RIGHTS);
    return false;
}
