// -collect_user_mode_trace <cabinet>: gathers both user-mode trace files into one
// cabinet, never overwriting an existing archive.

#include "base/qv_exact_file.h"
#include "cab/qv_cab.h"
#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_output.h"
#include "shell/dx_shell_trace_files.h"
#include "trace/qv_trace.h"

#include <string>

namespace {

const char RULE[] = "------------------------------------------------------------------------------\n";
const char FAILED_CONSOLE[] = "\nFailed to gather user mode trace files!\n";
const wchar_t FAILED_GUI[] = L"Failed to gather user mode trace files!";

// The absolute archive name: ".cab" added unless the name ends in it (any case).
// When a file has that name, the writer puts the archive under the first free
// "name (n).cab" beside it: it decides at its last step, so collects that run at
// once into one name each keep their own archive.
QV_path cabinet_name(const wchar_t* typed)
{
    QV_path cabinet = QV_path(typed).full_path();
    if (!cabinet.extension().equals_no_case(L"cab"))
        cabinet = cabinet + L".cab";
    return cabinet;
}

// Read access that keeps no trace writer out (they append while the archive is made).
constexpr QV_exact_open TRACE_SOURCE{FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false,
                                     FILE_SEQUENTIAL_ONLY};

// Why a trace file stays out of the archive, for the trace.
const wchar_t* left_out_because(DWORD error)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return L"there is no such file";
    if (error == ERROR_ACCESS_DENIED)
        return L"it is not a plain file of one name directly in its folder (a link, a second name or a folder), "
               L"or it cannot be read";
    return L"it cannot be opened";
}

// Adds a trace file only when it is the plain, single-link file of its name
// directly in its folder, and reads it through the handle that was checked: a
// link or a second name planted there could hand the archive another user's file.
bool add_trace_file(QV_cab& writer, const QV_path& path, const wchar_t* name_in_cabinet)
{
    bool created = false;
    QV_file file = qv_open_exact_file(path.parent().c_str(), path.file_name().c_str(), TRACE_SOURCE, &created);
    if (!file) {
        DWORD error = GetLastError();
        qv_trace_printf(L"dx_shell_collect_user_mode_trace", L"%s is left out of the archive: %s (error %lu)\n",
                        path.c_str(), left_out_because(error), error);
        return false;
    }
    return writer.add_open_file(file.get(), path.c_str(), name_in_cabinet);
}

// Either trace file may be missing, not both: an archive without files is no
// archive any reader takes. On success cabinet names where the archive went.
bool gather(QV_path& cabinet)
{
    QV_cab_owner writer(QV_cab::create(cabinet.c_str(), false, true));
    if (!writer)
        return false;
    bool added = add_trace_file(*writer.get(), dx_shell_system_trace_file(), L"SysTraceFile.qv");
    added = add_trace_file(*writer.get(), dx_shell_user_trace_file(), L"UsrTraceFile.qv") || added;
    bool flushed = added && writer->flush();
    if (flushed)
        cabinet = writer->archive_path();
    return flushed;
}

void report(bool gui, bool gathered, QV_path& cabinet)
{
    if (gui && gathered) {
        dx_shell_notice_box(
            QV_stringf(L"The application has now gathered the user mode trace files into the file%s.\n\n", cabinet.c_str())
                .c_str());
    } else if (gui) {
        dx_shell_notice_box(FAILED_GUI);
    } else if (gathered) {
        std::string text = std::string("\n") + RULE +
                           " The application has now gathered the user mode trace files into the file:\n " +
                           cabinet.narrow() + "\n" + RULE;
        dx_shell_write_console(text.c_str());
    } else {
        dx_shell_write_console(FAILED_CONSOLE);
    }
}

}  // namespace

void dx_shell_collect_user_mode_trace(bool gui, const wchar_t* cabinet_path)
{
    QV_path cabinet = cabinet_name(cabinet_path);
    report(gui, gather(cabinet), cabinet);
}
