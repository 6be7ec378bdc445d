// Opening a file at one exact place: by name relative to a held folder, checked by
// what the system says the opened file is, never by the text of a path.
#include "base/qv_exact_file.h"

#include "base/qv_os.h"

#include <winternl.h>

#include <cwchar>

namespace {

constexpr size_t LONGEST_NAME = 32767;

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

// True when the last component of the file's own path is `name`: a short name
// that happens to be `name` opens a file whose own name is another.
bool own_name(HANDLE file, const wchar_t* name, size_t length)
{
    DWORD size = sizeof(FILE_NAME_INFO) + LONGEST_NAME * sizeof(wchar_t);
    QV_local buffer(LocalAlloc(LMEM_FIXED, size));
    if (!buffer || !qv_file_info(file, FileNameInfo, buffer.get(), size))
        return false;
    auto* info = static_cast<const FILE_NAME_INFO*>(buffer.get());
    size_t total = info->FileNameLength / sizeof(wchar_t);
    if (total < length + 1 || info->FileName[total - length - 1] != L'\\')
        return false;
    return CompareStringOrdinal(info->FileName + total - length, static_cast<int>(length), name,
                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

bool proven(HANDLE file, const QV_exact_folder& folder, const wchar_t* name, size_t length, QV_exact_memo* memo)
{
    LONGLONG index = 0;
    if (!plain_file(file) || !file_index(file, &index))
        return false;
    if (memo && memo->known && memo->volume == folder.volume && memo->index == index)
        return true;
    if (!own_name(file, name, length))
        return false;
    if (memo)
        *memo = QV_exact_memo{true, folder.volume, index};
    return true;
}

// Takes back a file this call created: it was never anyone's.
void remove_created(HANDLE file)
{
    FILE_DISPOSITION_INFO dispose = {TRUE};
    qv_set_file_info(file, FileDispositionInfo, &dispose, sizeof dispose);
}

} // namespace

bool qv_open_exact_folder(const wchar_t* path, QV_exact_folder& folder)
{
    QV_file handle(qv_create_file(path, FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_STANDARD_INFO standard;
    DWORD serial = 0;
    if (!handle || !qv_file_info(handle.get(), FileStandardInfo, &standard, sizeof standard)
        || !GetVolumeInformationByHandleW(handle.get(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        return false;
    if (!standard.Directory) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    folder.handle = std::move(handle);
    folder.volume = serial;
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
