#include "base/qv_tree_delete.h"

#include "base/qv_os.h"
#include "base/qv_tree_walk.h"

#include <new>

namespace {

bool is_link(DWORD attributes)
{
    return attributes & FILE_ATTRIBUTE_REPARSE_POINT;
}

bool is_folder(DWORD attributes)
{
    return attributes & FILE_ATTRIBUTE_DIRECTORY;
}

DWORD last_error_or(DWORD fallback)
{
    DWORD error = GetLastError();
    return error ? error : fallback;
}

// The removal call that fits the entry: a folder, or a link to one, goes with
// RemoveDirectoryW, which takes a link away without entering it.
DWORD remove_as_listed(const wchar_t* long_path, DWORD attributes)
{
    BOOL removed = is_folder(attributes) ? qv_remove_directory(long_path) : qv_delete_file(long_path);
    return removed ? ERROR_SUCCESS : last_error_or(ERROR_ACCESS_DENIED);
}

// The first entry that stayed, and its error.
struct Stayed {
    DWORD error = ERROR_SUCCESS;
    QV_string path;

    void note(DWORD entry_error, const wchar_t* entry_path)
    {
        if (error != ERROR_SUCCESS || entry_error == ERROR_SUCCESS)
            return;
        error = entry_error;
        path = QV_string(entry_path);
    }
};

} // namespace

DWORD qv_remove_entry(const wchar_t* long_path, DWORD attributes) noexcept
{
    bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) && !is_link(attributes);
    if (read_only && !qv_set_file_attributes(long_path, attributes & ~FILE_ATTRIBUTE_READONLY))
        return last_error_or(ERROR_ACCESS_DENIED);
    DWORD error = remove_as_listed(long_path, attributes);
    if (error != ERROR_SUCCESS && read_only)
        qv_set_file_attributes(long_path, attributes);
    return error;
}

DWORD qv_delete_tree(const QV_string& root, QV_string* stayed_path) noexcept
{
    Stayed stayed;
    QV_string unlisted;
    // A removal that fails does not end the walk: whatever else can go, goes.
    DWORD walked = qv_walk_tree(
        root,
        [&stayed](const QV_walk_step& step) {
            if (step.kind != QV_walk_step::folder_entered)
                stayed.note(qv_remove_entry(step.long_path, step.attributes), step.path);
            return true;
        },
        &unlisted);
    try {
        stayed.note(walked, unlisted.c_str());
    } catch (const std::bad_alloc&) {
        if (stayed.error == ERROR_SUCCESS)
            stayed.error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (stayed.error != ERROR_SUCCESS && stayed_path)
        *stayed_path = static_cast<QV_string&&>(stayed.path);
    return stayed.error;
}
