#include "base/qv_file_replace.h"

#include "base/qv_os.h"
#include "base/qv_unique.h"

#include "trace/qv_trace.h"

#include <cwchar>

namespace {

constexpr const wchar_t* REPLACE = L"qv_copy_file_replacing";

// Names taken by someone else are skipped; past this many the folder is not
// ours to fill.
constexpr int temporary_name_tries = 100;

bool is_folder(const QV_path& path)
{
    DWORD attributes = qv_get_file_attributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The temporary file may carry the source's read-only attribute, which would
// refuse the removal.
void remove_temporary(const QV_path& temporary)
{
    qv_set_file_attributes(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (qv_delete_file(temporary.c_str()))
        return;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        qv_trace_failed_call(REPLACE, L"DeleteFileW", temporary.c_str());
}

bool name_taken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// The whole copy under a temporary name of its own; 0 or the copy's error, with
// nothing left behind on failure.
DWORD copy_to_temporary(const QV_path& source, const QV_path& destination, QV_path& temporary)
{
    QV_path from = qv_extended_path(source);
    // Exclusive: a file of that name belongs to someone else and is left alone.
    temporary = qv_take_temporary_name_beside(destination, [&from](const QV_path& name) {
        if (qv_copy_file(from.c_str(), name.c_str(), TRUE))
            return true;
        DWORD error = GetLastError();
        if (!name_taken(error)) {
            remove_temporary(name);  // a partial copy the failed call left
            SetLastError(error);
        }
        return false;
    });
    return temporary.has_text() ? 0 : GetLastError();
}

// The copy's bytes reach the disk before its rename can, so no power cut leaves
// the name on a file whose data never arrived. A read-only copy (the source's
// attribute came with it) is opened for writing once that attribute is cleared,
// and gets it back through the handle, before the flush.
DWORD flush_temporary(const QV_path& temporary)
{
    DWORD attributes = qv_get_file_attributes(temporary.c_str());
    bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (read_only && !qv_set_file_attributes(temporary.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return GetLastError();
    QV_file file(qv_create_file(temporary.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError();
    FILE_BASIC_INFO basic{};  // times of 0 stay as they are
    basic.FileAttributes = attributes;
    if (read_only && !qv_set_file_info(file.get(), FileBasicInfo, &basic, sizeof basic))
        return GetLastError();
    return qv_flush_file(file.get()) ? 0 : GetLastError();
}

} // namespace

QV_path qv_temporary_name_beside(const QV_path& path)
{
    static unsigned counter = 0;
    wchar_t name[40] = {};
    _snwprintf(name, 39, L"~qv%lx-%x.tmp", GetCurrentProcessId(), ++counter);
    QV_path folder = path.parent();
    return qv_extended_path(folder.has_text() ? join(folder, name) : QV_path(name));
}

QV_path qv_take_temporary_name_beside(const QV_path& path, const std::function<bool(const QV_path&)>& take)
{
    for (int tries = 0; tries < temporary_name_tries; ++tries) {
        QV_path name = qv_temporary_name_beside(path);
        if (take(name))
            return name;
        if (!name_taken(GetLastError()))
            return QV_path();
    }
    SetLastError(ERROR_FILE_EXISTS);
    return QV_path();
}

DWORD qv_copy_file_replacing(const QV_path& source, const QV_path& destination,
                             const std::function<void()>& before_replace)
{
    qv_trace_enter(REPLACE, 0);
    QV_path to = qv_extended_path(destination);
    if (is_folder(to))
        return ERROR_ACCESS_DENIED;
    QV_path temporary;
    if (DWORD error = copy_to_temporary(source, destination, temporary))
        return error;
    if (DWORD error = flush_temporary(temporary)) {
        SetLastError(error);
        qv_trace_failed_call(REPLACE, L"FlushFileBuffers", temporary.c_str());
        remove_temporary(temporary);
        return error;
    }
    if (before_replace)
        before_replace();
    // One rename, written through: the name moves from the old file to the new one
    // at once. A folder that appeared meanwhile refuses it.
    if (qv_move_file(temporary.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    DWORD error = GetLastError();
    qv_trace_failed_call(REPLACE, L"MoveFileExW", to.c_str());
    remove_temporary(temporary);
    return error;
}
