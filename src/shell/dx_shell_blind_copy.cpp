// -blind_copy: copies one file without any prompt, under the driver's blind-copy
// names when the driver offers the source under one, then has the driver carry
// the file's special information over. Only a failed copy is reported.

#include "shell/dx_shell_commands.h"

#include "base/qv_file_replace.h"
#include "base/qv_os.h"
#include "base/qv_progress.h"
#include "base/qv_tree_delete.h"
#include "base/qv_unique.h"
#include "shell/dx_driver_com.h"
#include "shell/dx_shell_system_error.h"
#include "trace/qv_trace.h"

#include <ole2.h>

namespace {

constexpr const wchar_t* BLIND_COPY = L"dx_shell_blind_copy";
// Appended to a path, it names the file as the driver offers it for a blind copy.
constexpr const wchar_t BLIND_COPY_SUFFIX[] = L"\xECF7";

struct Blind_copy_names {
    QV_path source;
    QV_path destination;
    QV_path source_suffixed;
    QV_path destination_suffixed;
};

// Both paths absolute; a folder destination receives the file under its own name.
Blind_copy_names resolve(const QV_path& source, const QV_path& destination)
{
    Blind_copy_names names{source.full_path(), destination.full_path(), {}, {}};
    if (names.destination.exists() && !names.destination.is_file())
        names.destination = join(names.destination, names.source.file_name());
    names.source_suffixed = names.source + BLIND_COPY_SUFFIX;
    names.destination_suffixed = names.destination + BLIND_COPY_SUFFIX;
    return names;
}

// Volume serial number and file index: the same for every name of one file.
bool file_identity(const QV_path& path, BY_HANDLE_FILE_INFORMATION& info)
{
    QV_file file(qv_create_file(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && qv_file_identity(file.get(), &info);
}

bool same_file(const QV_path& a, const QV_path& b)
{
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return file_identity(a, x) && file_identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber
           && x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// Opened as the copy will open it.
bool readable(const QV_path& path)
{
    QV_file file(qv_create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             0, nullptr));
    return file.valid();
}

bool read_only(const QV_path& path)
{
    DWORD attributes = qv_get_file_attributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// True only when both files were read and are not one: a file that cannot be
// told apart from the other counts as the other.
bool distinct_files(const QV_path& a, const QV_path& b)
{
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return file_identity(a, x) && file_identity(b, y)
           && (x.dwVolumeSerialNumber != y.dwVolumeSerialNumber || x.nFileIndexHigh != y.nFileIndexHigh
               || x.nFileIndexLow != y.nFileIndexLow);
}

// Another name of the source itself (or of the file the copy reads) is never
// removed as "the old destination", nor one whose identity cannot be read.
bool may_remove(const QV_path& old, const QV_path& source, const QV_path& from)
{
    return distinct_files(old, source) && distinct_files(old, from) && readable(from);
}

// The plain destination, moved out of the way of a copy onto the driver's
// suffixed name under a short name of this process in its folder.
struct Set_aside {
    QV_path old;
    QV_path aside;  // empty when nothing was moved
};

// Only a file is moved, never a folder, and never a read-only file: the copy meets
// that one as a removal would, and is refused where the system protects it.
Set_aside set_aside(const QV_path& old, const QV_path& source, const QV_path& from)
{
    if (!old.exists() || !old.is_file() || read_only(old) || !may_remove(old, source, from))
        return {};
    QV_path extended = qv_extended_path(old);
    QV_path aside = qv_take_temporary_name_beside(
        old, [&extended](const QV_path& name) { return qv_move_file(extended.c_str(), name.c_str(), 0) != FALSE; });
    if (!aside.has_text())
        return {};
    return {old, aside};
}

// After a good copy the set-aside file goes; one that stays is only traced, as
// the copy itself succeeded.
void drop_set_aside(const Set_aside& moved)
{
    if (moved.aside.has_text() && !qv_delete_file(moved.aside.c_str()))
        qv_trace_failed_call(BLIND_COPY, L"DeleteFileW", moved.aside.c_str());
}

// A failed copy takes back what it left under the destination name, when the name
// was free before it, and the old destination returns. Gives the name the old
// file has to stay under when it cannot return, else the empty path.
QV_path undo_failed_copy(const QV_path& to, bool to_was_free, const Set_aside& moved)
{
    QV_path extended = qv_extended_path(to);
    if (to_was_free && !qv_delete_file(extended.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        qv_trace_failed_call(BLIND_COPY, L"DeleteFileW", to.c_str());
    if (!moved.aside.has_text())
        return QV_path();
    if (qv_move_file(moved.aside.c_str(), qv_extended_path(moved.old).c_str(), 0))
        return QV_path();
    qv_trace_failed_call(BLIND_COPY, L"MoveFileExW", moved.old.c_str());
    return moved.aside;
}

class Ole_scope {
public:
    Ole_scope() : result_(OleInitialize(nullptr)) {}
    ~Ole_scope()
    {
        if (SUCCEEDED(result_))
            OleUninitialize();
    }
    Ole_scope(const Ole_scope&) = delete;
    Ole_scope& operator=(const Ole_scope&) = delete;

private:
    HRESULT result_;
};

void copy_special_info(const QV_path& from, const QV_path& to)
{
    Ole_scope ole;
    QV_driver_com driver;
    if (FAILED(dx_dc_create_driver(driver)))
        return;
    HRESULT result = dx_driver_copy_special_info(driver.get(), from.c_str(), to.c_str(), 1);
    if (result != 0)
        qv_trace_printf(BLIND_COPY, L"Unable to copy special info from file %s to %s: %08X\n", from.c_str(), to.c_str(),
                        result);
}

// kept_as, when not empty, is where the old destination had to stay: the user is
// told, after the failure text (the same box in the GUI build).
void report_copy_failure(bool gui, DWORD code, const QV_path& old, const QV_path& kept_as)
{
    QV_string kept = kept_as.has_text() ? QV_stringf(L"The older %s is kept as %s\n", old.c_str(), kept_as.c_str())
                                        : QV_string(L"");
    dx_shell_report_system_error(gui, code, L"blind_copy failed Error: 0x%08x\n", kept);
}

DWORD copy_file(const QV_path& from, const QV_path& to)
{
    if (qv_copy_file(qv_extended_path(from).c_str(), qv_extended_path(to).c_str(), FALSE))
        return 0;
    return GetLastError();
}

// The plain pair: the copy takes the destination's place in one step. The driver's
// suffixed destination, which goes before a copy onto the plain name, goes only
// once the new copy is complete, so a copy that fails leaves both names as they were.
DWORD copy_plain(const Blind_copy_names& names, QV_progress& progress)
{
    // Onto the source itself: the system refuses that copy, and the refusal is reported.
    if (same_path(names.source, names.destination) || same_file(names.destination, names.source))
        return copy_file(names.source, names.destination);
    return qv_copy_file_replacing(names.source, names.destination, [&names] {
        const QV_path& old = names.destination_suffixed;
        if (old.exists() && may_remove(old, names.source, names.source))
            qv_delete_one_file(qv_extended_path(old));  // a link as itself, never its target
    }, &progress);
}

// The suffixed pair is the driver's: its names are only tested, deleted and copied
// onto. The plain destination, which must be out of the way, is moved aside and
// returns when the copy fails; kept_as tells where it stays when it cannot return.
DWORD copy_suffixed(const Blind_copy_names& names, bool distinct, QV_path& kept_as)
{
    const QV_path& from = names.source_suffixed;
    const QV_path& to = names.destination_suffixed;
    Set_aside moved;
    if (distinct && to.exists()) {
        // What cannot go as itself is never copied onto: a link's target included.
        DWORD error = may_remove(to, names.source, from) ? qv_delete_one_file(qv_extended_path(to)) : ERROR_SUCCESS;
        if (error != ERROR_SUCCESS)
            return error;
    } else if (distinct) {
        moved = set_aside(names.destination, names.source, from);
    }
    bool to_was_free = !to.exists();
    DWORD code = copy_file(from, to);
    if (code == 0)
        drop_set_aside(moved);
    else
        kept_as = undo_failed_copy(to, to_was_free, moved);
    return code;
}

} // namespace

void dx_shell_blind_copy(bool gui, const QV_path& source, const QV_path& destination)
{
    qv_trace_enter(BLIND_COPY, 0);
    Blind_copy_names names = resolve(source, destination);
    bool distinct = names.source.exists() && !same_path(names.source, names.destination);
    // Whether the driver offers the suffixed pair decides which destination the
    // copy replaces: a question the file system cannot answer fails the copy.
    DWORD offered = names.source_suffixed.presence();
    if (offered != ERROR_SUCCESS && offered != ERROR_FILE_NOT_FOUND && offered != ERROR_PATH_NOT_FOUND) {
        report_copy_failure(gui, offered, names.destination, QV_path());
        return;
    }
    bool offered_suffixed = offered == ERROR_SUCCESS;
    QV_path kept_as;
    QV_progress progress(gui, QV_progress_unit::bytes,
                         QV_stringf(L"Copying %s", names.source.file_name().c_str()).c_str());
    DWORD code = offered_suffixed ? copy_suffixed(names, distinct, kept_as) : copy_plain(names, progress);
    // The line or the dialog goes before any report; a stop shows as the
    // failure of the copy, in the system's words for a cancelled operation.
    progress.end();
    if (code != 0) {
        report_copy_failure(gui, code, names.destination, kept_as);
        return;
    }
    if (offered_suffixed)
        copy_special_info(names.source_suffixed, names.destination_suffixed);
    else
        copy_special_info(names.source, names.destination);
}
