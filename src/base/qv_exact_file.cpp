// Opening a file at one exact place, checked by what the system says the opened
// file and its folder are, never by the text of the path.
#include "base/qv_exact_file.h"

#include "base/qv_os.h"

#include <winternl.h>

#include <cwchar>

namespace {

// The last separator of `path`, or null when it has none.
const wchar_t* last_separator(const wchar_t* path)
{
    const wchar_t* last = nullptr;
    for (const wchar_t* at = path; *at; ++at) {
        if (*at == L'\\' || *at == L'/')
            last = at;
    }
    return last;
}

bool creates(DWORD disposition)
{
    if (disposition == CREATE_NEW)
        return true;
    return (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) && GetLastError() != ERROR_ALREADY_EXISTS;
}

// The file's index on its volume. GetFileInformationByHandle gives it too, but its
// volume lookup costs more than a whole trace record under Wine.
bool file_index(HANDLE file, LONGLONG* index)
{
    constexpr auto FILE_INTERNAL_INFORMATION = static_cast<FILE_INFORMATION_CLASS>(6);
    LARGE_INTEGER internal{};
    IO_STATUS_BLOCK status{};
    if (NtQueryInformationFile(file, &status, &internal, sizeof internal, FILE_INTERNAL_INFORMATION) < 0)
        return false;
    *index = internal.QuadPart;
    return true;
}

// A file, not a folder, not a reparse point, with one name only.
bool plain_file(HANDLE file)
{
    FILE_STANDARD_INFO standard;
    FILE_ATTRIBUTE_TAG_INFO tag;
    return qv_file_info(file, FileStandardInfo, &standard, sizeof standard)
           && standard.NumberOfLinks == 1 && !standard.Directory
           && qv_file_info(file, FileAttributeTagInfo, &tag, sizeof tag)
           && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The path the system gives for the handle, volume included; null when it cannot
// say. *length gets its length in characters.
QV_local path_by_handle(HANDLE handle, DWORD volume_form, DWORD* length)
{
    DWORD needed = GetFinalPathNameByHandleW(handle, nullptr, 0, volume_form);
    if (needed == 0)
        return QV_local();
    QV_local buffer(LocalAlloc(LMEM_FIXED, (needed + 1) * sizeof(wchar_t)));
    if (!buffer)
        return QV_local();
    *length = GetFinalPathNameByHandleW(handle, static_cast<wchar_t*>(buffer.get()), needed + 1, volume_form);
    if (*length == 0 || *length > needed)
        return QV_local();  // changed in between: never use a cut path
    return buffer;
}

bool same_text(const wchar_t* a, size_t a_length, const wchar_t* b, size_t b_length)
{
    return CompareStringOrdinal(a, static_cast<int>(a_length), b, static_cast<int>(b_length), TRUE) == CSTR_EQUAL;
}

// True when the file's path is the folder's path, one separator, then `name`.
bool file_in_folder(HANDLE file, HANDLE folder, const wchar_t* name, DWORD volume_form)
{
    DWORD file_length = 0, folder_length = 0;
    QV_local file_path = path_by_handle(file, volume_form, &file_length);
    QV_local folder_path = path_by_handle(folder, volume_form, &folder_length);
    if (!file_path || !folder_path)
        return false;
    auto* in_file = static_cast<const wchar_t*>(file_path.get());
    auto* in_folder = static_cast<const wchar_t*>(folder_path.get());
    if (folder_length > 0 && in_folder[folder_length - 1] == L'\\')
        --folder_length;  // a volume's root ends in its separator
    size_t name_length = wcslen(name);
    return file_length == folder_length + 1 + name_length && in_file[folder_length] == L'\\'
           && same_text(in_file, folder_length, in_folder, folder_length)
           && same_text(in_file + folder_length + 1, name_length, name, name_length);
}

// Opens the folder part of `path` (through any link it passes) and compares.
bool at_place(HANDLE file, const wchar_t* path, const wchar_t* separator)
{
    size_t folder_length = static_cast<size_t>(separator - path) + 1;
    QV_local folder_text(LocalAlloc(LMEM_FIXED, (folder_length + 1) * sizeof(wchar_t)));
    if (!folder_text)
        return false;
    auto* text = static_cast<wchar_t*>(folder_text.get());
    wcsncpy(text, path, folder_length);
    text[folder_length] = L'\0';
    QV_file folder(qv_create_file(text, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder)
        return false;
    // A volume with no drive letter has no DOS form: its device form is asked instead.
    return file_in_folder(file, folder.get(), separator + 1, VOLUME_NAME_DOS)
           || file_in_folder(file, folder.get(), separator + 1, VOLUME_NAME_NT);
}

} // namespace

QV_file qv_open_exact_file(const wchar_t* path, const QV_exact_open& how, bool* created, QV_exact_memo* memo)
{
    *created = false;
    const wchar_t* separator = last_separator(path);
    if (!separator || separator[1] == L'\0') {
        SetLastError(ERROR_BAD_PATHNAME);
        return QV_file();
    }
    QV_file file(qv_create_file(path, how.access, how.share, nullptr, how.disposition,
                             how.flags_and_attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return file;
    bool made = creates(how.disposition);
    LONGLONG index = 0;
    if (!plain_file(file.get()) || !file_index(file.get(), &index)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return QV_file();
    }
    if (!(memo && memo->known && memo->index == index)) {
        if (!at_place(file.get(), path, separator)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return QV_file();
        }
        if (memo)
            *memo = QV_exact_memo{true, index};
    }
    *created = made;
    return file;
}
