// -collect_user_mode_trace <cabinet>: gathers both user-mode trace files into one
// cabinet, never overwriting an existing archive.

#include "base/qv_exact_file.h"
#include "base/qv_os.h"
#include "base/qv_progress.h"
#include "base/qv_system_message.h"
#include "cab/qv_cab.h"
#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_output.h"
#include "shell/dx_shell_system_error.h"
#include "shell/dx_shell_trace_files.h"
#include "trace/qv_trace.h"

#include <iterator>
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

// A trace file opened for the archive; file is not open when it stays out.
struct Trace_source {
    QV_path path;
    const wchar_t* name_in_cabinet;
    QV_file file;
};

// Opens a trace file only when it is the plain, single-link file of its name
// directly in its folder; the archive reads it through the handle that was
// checked: a link or a second name planted there could hand the archive another
// user's file.
Trace_source open_trace_file(const QV_path& path, const wchar_t* name_in_cabinet)
{
    bool created = false;
    Trace_source source{path, name_in_cabinet,
                        qv_open_exact_file(path.parent().c_str(), path.file_name().c_str(), TRACE_SOURCE, &created)};
    if (!source.file) {
        DWORD error = GetLastError();
        qv_trace_printf(L"dx_shell_collect_user_mode_trace", L"%s is left out of the archive: %s (error %lu)\n",
                        path.c_str(), left_out_because(error), error);
    }
    return source;
}

// The bytes the archive is to read: the sizes the sources have now.
ULONGLONG total_size(const Trace_source* sources, size_t count)
{
    ULONGLONG total = 0;
    for (size_t i = 0; i < count; ++i) {
        FILE_STANDARD_INFO standard{};
        if (sources[i].file && qv_file_info(sources[i].file.get(), FileStandardInfo, &standard, sizeof standard))
            total += static_cast<ULONGLONG>(standard.EndOfFile.QuadPart);
    }
    return total;
}

// Either trace file may be missing, not both: an archive without files is no
// archive any reader takes. On success cabinet names where the archive went.
// The progress is told of the bytes read; a stop leaves no archive.
bool gather(QV_path& cabinet, QV_progress& progress)
{
    QV_cab_owner writer(QV_cab::create(cabinet.c_str(), false, true));
    if (!writer)
        return false;
    Trace_source sources[] = {open_trace_file(dx_shell_system_trace_file(), L"SysTraceFile.qv"),
                              open_trace_file(dx_shell_user_trace_file(), L"UsrTraceFile.qv")};
    writer->report_progress(&progress, total_size(sources, std::size(sources)));
    bool added = false;
    for (const Trace_source& source : sources) {
        if (source.file && !progress.stopped())
            added = writer->add_open_file(source.file.get(), source.path.c_str(), source.name_in_cabinet) || added;
    }
    bool flushed = added && !progress.stopped() && writer->flush();
    if (flushed)
        cabinet = writer->archive_path();
    return flushed;
}

// A stop asked for by the person at the machine: the failure, then the system's
// words for a cancelled operation.
void report_cancelled(bool gui)
{
    QV_local system_text = qv_system_message(ERROR_CANCELLED);
    auto* text = static_cast<const wchar_t*>(system_text.get());
    if (gui) {
        dx_shell_notice_box((QV_string(FAILED_GUI) + L"\n\n" + (text ? text : L"")).c_str());
        return;
    }
    dx_shell_write_console(FAILED_CONSOLE);
    dx_shell_report_system_error(false, ERROR_CANCELLED, L"%08x\n");
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
    QV_progress progress(gui, QV_progress_unit::bytes, L"Gathering the user mode trace files");
    bool gathered = gather(cabinet, progress);
    // The line or the dialog goes before the report, the box in particular.
    progress.end();
    if (!gathered && progress.stopped())
        report_cancelled(gui);
    else
        report(gui, gathered, cabinet);
}
