// Opening a file at one exact place: by name relative to a held folder, checked by
// what the system says the opened file is, never by the text of a path.
#include "base/qv_exact_file.h"

#include "base/qv_os.h"

#include <winternl.h>

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {

// One component the system takes as it is written: a name the path functions
// would trim or split is never "the file of that name".
bool one_component(const wchar_t* name, size_t* length)
{
    *length = name ? wcslen(name) : 0;
    if (*length == 0 || *length > 255 || wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0)
        return false;
    wchar_t last = name[*length - 1];
    return wcspbrk(name, L"\\/:") == nullptr && last != L'.' && last != L' ';
}

bool name_taken(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

// The file as it is, or one created exclusively when nothing is there. A name
// taken between the open and the create is opened once more: another writer
// created it meanwhile, or it is a dangling link, which that open does not find.
QV_file open_or_create(HANDLE folder, const wchar_t* name, size_t length, const QV_exact_open& how, bool* created)
{
    ULONG options = FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | how.options;
    ACCESS_MASK access = how.access | FILE_READ_ATTRIBUTES;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QV_file file(qv_open_relative(folder, name, length, access, how.share, FILE_OPEN, options));
        if (file || !how.create || GetLastError() != ERROR_FILE_NOT_FOUND)
            return file;
        // DELETE, so that a created file that fails its checks can be taken back.
        file.reset(qv_open_relative(folder, name, length, access | DELETE, how.share, FILE_CREATE, options, created));
        if (file || !name_taken(GetLastError()))
            return file;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return QV_file();
}

// The file's index on its volume. GetFileInformationByHandle gives it too, but its
// volume lookup costs more than a whole trace record under Wine.
bool file_index(HANDLE file, LONGLONG* index)
{
    constexpr ULONG FILE_INTERNAL_INFORMATION = 6;
    LARGE_INTEGER internal{};
    if (!qv_query_file(file, &internal, sizeof internal, FILE_INTERNAL_INFORMATION))
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
    DWORD needed = qv_final_path(handle, nullptr, 0, volume_form);
    if (needed == 0)
        return QV_local();
    QV_local buffer(LocalAlloc(LMEM_FIXED, (needed + 1) * sizeof(wchar_t)));
    if (!buffer)
        return QV_local();
    *length = qv_final_path(handle, static_cast<wchar_t*>(buffer.get()), needed + 1, volume_form);
    if (*length == 0 || *length > needed)
        return QV_local();  // changed in between: never use a cut path
    return buffer;
}

bool same_text(const wchar_t* a, size_t a_length, const wchar_t* b, size_t b_length)
{
    return CompareStringOrdinal(a, static_cast<int>(a_length), b, static_cast<int>(b_length), TRUE) == CSTR_EQUAL;
}

// True when the file's whole path is the folder's, one separator, then `name`.
bool file_in_folder(HANDLE file, HANDLE folder, const wchar_t* name, size_t name_length, DWORD volume_form)
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
    return file_length == folder_length + 1 + name_length && in_file[folder_length] == L'\\'
           && same_text(in_file, folder_length, in_folder, folder_length)
           && same_text(in_file + folder_length + 1, name_length, name, name_length);
}

// The file's own name is `name`, directly in the folder, as the system names both.
// A short name that happens to be `name` opens a file whose own name is another;
// where a link to a file is followed whatever the open asks (Wine), the link's
// target has a path of its own elsewhere. A volume with no drive letter has no DOS
// form: its device form is asked instead.
bool named_in_folder(HANDLE file, HANDLE folder, const wchar_t* name, size_t length)
{
    return file_in_folder(file, folder, name, length, VOLUME_NAME_DOS)
           || file_in_folder(file, folder, name, length, VOLUME_NAME_NT);
}

bool proven(HANDLE file, const QV_exact_folder& folder, const wchar_t* name, size_t length, QV_exact_memo* memo)
{
    LONGLONG index = 0;
    if (!plain_file(file) || !file_index(file, &index))
        return false;
    bool memo_holds = memo && folder.volume_known;
    if (memo_holds && memo->known && memo->volume == folder.volume && memo->index == index)
        return true;
    if (!named_in_folder(file, folder.handle.get(), name, length))
        return false;
    if (memo_holds)
        *memo = QV_exact_memo{true, folder.volume, index};
    return true;
}

// Takes back a file this call created: it was never anyone's.
void remove_created(HANDLE file)
{
    FILE_DISPOSITION_INFO dispose = {TRUE};
    qv_set_file_info(file, FileDispositionInfo, &dispose, sizeof dispose);
}

// Wine names a file whose name ends in dots or spaces without them, as a DOS
// path would read; so does it every folder on the way.
std::wstring without_trailing_dots_and_spaces(const std::wstring& name)
{
    std::wstring trimmed;
    for (size_t start = 0; start <= name.size();) {
        size_t end = std::min(name.find(L'\\', start), name.size());
        size_t last = end;
        while (last > start && (name[last - 1] == L'.' || name[last - 1] == L' '))
            --last;
        trimmed.append(name, start, last - start);
        if (end < name.size())
            trimmed += L'\\';
        start = end + 1;
    }
    return trimmed;
}

} // namespace

bool qv_name_by_handle(HANDLE file, std::wstring& name)
{
    constexpr ULONG FILE_NAME_INFORMATION_CLASS = 9;
    // The length, then the name. Most names fit the first buffer; a longer one is
    // asked again with the length the system gave.
    ULONG first[1 + 256];
    std::vector<ULONG> longer;
    ULONG* buffer = first;
    if (!qv_query_file(file, first, sizeof first, FILE_NAME_INFORMATION_CLASS)) {
        if (GetLastError() != ERROR_MORE_DATA)
            return false;
        longer.resize(1 + first[0] / sizeof(ULONG) + 1);
        buffer = longer.data();
        if (!qv_query_file(file, buffer, static_cast<ULONG>(longer.size() * sizeof(ULONG)), FILE_NAME_INFORMATION_CLASS))
            return false;
    }
    name.assign(reinterpret_cast<const wchar_t*>(buffer + 1), buffer[0] / sizeof(wchar_t));
    return true;
}

bool qv_handle_named(HANDLE file, const std::wstring& name)
{
    std::wstring given;
    if (!qv_name_by_handle(file, given))
        return false;
    if (same_text(given.data(), given.size(), name.data(), name.size()))
        return true;
    std::wstring trimmed = without_trailing_dots_and_spaces(name);
    return same_text(given.data(), given.size(), trimmed.data(), trimmed.size());
}

bool qv_open_exact_folder(const wchar_t* path, QV_exact_folder& folder)
{
    QV_file handle(qv_create_file(path, FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_STANDARD_INFO standard;
    if (!handle || !qv_file_info(handle.get(), FileStandardInfo, &standard, sizeof standard))
        return false;
    if (!standard.Directory) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    DWORD serial = 0;
    folder.volume_known = GetVolumeInformationByHandleW(handle.get(), nullptr, 0, &serial, nullptr, nullptr,
                                                        nullptr, 0) != FALSE;
    folder.volume = serial;
    folder.handle = std::move(handle);
    return true;
}

QV_file qv_open_exact_file(const QV_exact_folder& folder, const wchar_t* name, const QV_exact_open& how,
                           bool* created, QV_exact_memo* memo)
{
    *created = false;
    size_t length = 0;
    if (!one_component(name, &length)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return QV_file();
    }
    bool made = false;
    QV_file file = open_or_create(folder.handle.get(), name, length, how, &made);
    if (!file)
        return file;
    if (!proven(file.get(), folder, name, length, memo)) {
        if (made)
            remove_created(file.get());
        SetLastError(ERROR_ACCESS_DENIED);
        return QV_file();
    }
    *created = made;
    return file;
}

QV_file qv_open_exact_file(const wchar_t* folder_path, const wchar_t* name, const QV_exact_open& how,
                           bool* created)
{
    *created = false;
    QV_exact_folder folder;
    if (!qv_open_exact_folder(folder_path, folder))
        return QV_file();
    return qv_open_exact_file(folder, name, how, created);
}
