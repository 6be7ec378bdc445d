#include "base/qv_os.h"

#include <winternl.h>

#include <cerrno>
#include <cstdio>
#include <io.h>
#include <share.h>

const QV_os_probe* qv_os_probe = nullptr;

namespace {

// The error an injected failure gives, or 0 when the call is to run.
inline DWORD injected(QV_os_call call)
{
    const QV_os_probe* probe = qv_os_probe;
    return probe != nullptr ? probe->before(call) : 0;
}

inline void ran(QV_os_call call)
{
    const QV_os_probe* probe = qv_os_probe;
    if (probe != nullptr)
        probe->after(call);
}

// Runs a call that answers with a value and the last error: the failure value
// with the injected error, or the call's own answer with its last error kept
// across the probe.
template <typename Result, typename Call>
Result guarded(QV_os_call call, Result failure, Call&& run)
{
    if (DWORD error = injected(call)) {
        SetLastError(error);
        return failure;
    }
    Result result = run();
    DWORD error = GetLastError();
    ran(call);
    SetLastError(error);
    return result;
}

// The same for the registry calls, whose result is the error.
template <typename Call>
LONG guarded_reg(QV_os_call call, Call&& run)
{
    if (DWORD error = injected(call))
        return static_cast<LONG>(error);
    LONG result = run();
    ran(call);
    return result;
}

// The same for the descriptor calls: -1 with errno on failure.
template <typename Call>
int guarded_fd(QV_os_call call, int injected_errno, Call&& run, bool ask = true)
{
    if (DWORD error = ask ? injected(call) : 0) {
        SetLastError(error);
        errno = injected_errno;
        return -1;
    }
    int result = run();
    int saved_errno = errno;
    DWORD error = GetLastError();
    ran(call);
    SetLastError(error);
    errno = saved_errno;
    return result;
}

constexpr const char* CALL_NAMES[] = {
    "CreateFileW",       "CopyFileW",        "MoveFileExW",       "ReplaceFileW",   "DeleteFileW",
    "RemoveDirectoryW",  "CreateDirectoryW", "SetFileAttributesW", "FindFirstFileW", "FindNextFileW",
    "ReadFile",          "WriteFile",        "GetFileInformationByHandleEx", "SetFileInformationByHandle",
    "NtCreateFile",      "NtQueryInformationFile",
    "RegCreateKeyExW",   "RegSetValueExW",   "RegDeleteValueW",   "RegDeleteKeyW",    "RegDeleteKeyExW",
    "_sopen",             "_read",            "_write",
    "RegOpenKeyExW",     "RegQueryValueExW",
    "FlushFileBuffers",
    "GetFileAttributesW", "GetTempPathW",      "GetCurrentDirectoryW", "GetFinalPathNameByHandleW",
    "GetFileInformationByHandle", "GetFileSizeEx", "SetFilePointerEx", "SetEndOfFile",
    "_close",            "_lseek",           "remove",
    "RegEnumKeyExW",     "RegQueryInfoKeyW", "CreateMutexW",
    "GlobalAddAtomW",    "GlobalFindAtomW",  "GlobalDeleteAtom",
    "ShellExecuteW",     "CoCreateInstance", "a component's method",
};

// The calls that only read or name what is there.
constexpr QV_os_call READS[] = {
    QV_os_call::find_first,      QV_os_call::find_next,     QV_os_call::read_file,
    QV_os_call::file_info,       QV_os_call::fd_read,       QV_os_call::reg_open_key,
    QV_os_call::reg_query_value, QV_os_call::get_attributes, QV_os_call::temp_path,
    QV_os_call::current_directory, QV_os_call::final_path, QV_os_call::file_identity,
    QV_os_call::file_size,       QV_os_call::fd_seek,       QV_os_call::reg_enum_key,
    QV_os_call::reg_query_info_key, QV_os_call::find_atom,  QV_os_call::create_instance,
};
static_assert(sizeof CALL_NAMES / sizeof CALL_NAMES[0] == static_cast<size_t>(QV_os_call::count));

} // namespace

const char* qv_os_call_name(QV_os_call call) noexcept
{
    size_t index = static_cast<size_t>(call);
    return index < static_cast<size_t>(QV_os_call::count) ? CALL_NAMES[index] : "?";
}

bool qv_os_call_changes(QV_os_call call) noexcept
{
    for (QV_os_call read : READS) {
        if (read == call)
            return false;
    }
    return call < QV_os_call::count;
}

DWORD qv_os_before(QV_os_call call) noexcept
{
    return injected(call);
}

void qv_os_after(QV_os_call call) noexcept
{
    ran(call);
}

HANDLE qv_create_file(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                      DWORD flags, HANDLE template_file)
{
    return guarded(QV_os_call::create_file, INVALID_HANDLE_VALUE, [&] {
        return CreateFileW(name, access, share, security, disposition, flags, template_file);
    });
}

HANDLE qv_create_file(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                      DWORD flags, HANDLE template_file)
{
    return guarded(QV_os_call::create_file, INVALID_HANDLE_VALUE, [&] {
        return CreateFileA(name, access, share, security, disposition, flags, template_file);
    });
}

BOOL qv_copy_file(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists)
{
    return guarded(QV_os_call::copy_file, FALSE, [&] { return CopyFileW(from, to, fail_if_exists); });
}

BOOL qv_move_file(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    return guarded(QV_os_call::move_file, FALSE, [&] { return MoveFileExW(from, to, flags); });
}

BOOL qv_replace_file(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, void* exclude,
                     void* reserved)
{
    return guarded(QV_os_call::replace_file, FALSE,
                   [&] { return ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved); });
}

BOOL qv_delete_file(LPCWSTR name)
{
    return guarded(QV_os_call::delete_file, FALSE, [&] { return DeleteFileW(name); });
}

BOOL qv_remove_directory(LPCWSTR name)
{
    return guarded(QV_os_call::remove_directory, FALSE, [&] { return RemoveDirectoryW(name); });
}

BOOL qv_create_directory(LPCWSTR name, LPSECURITY_ATTRIBUTES security)
{
    return guarded(QV_os_call::create_directory, FALSE, [&] { return CreateDirectoryW(name, security); });
}

BOOL qv_set_file_attributes(LPCWSTR name, DWORD attributes)
{
    return guarded(QV_os_call::set_attributes, FALSE, [&] { return SetFileAttributesW(name, attributes); });
}

HANDLE qv_find_first_file(LPCWSTR pattern, WIN32_FIND_DATAW* found)
{
    return guarded(QV_os_call::find_first, INVALID_HANDLE_VALUE, [&] { return FindFirstFileW(pattern, found); });
}

BOOL qv_find_next_file(HANDLE search, WIN32_FIND_DATAW* found)
{
    return guarded(QV_os_call::find_next, FALSE, [&] { return FindNextFileW(search, found); });
}

BOOL qv_read_file(HANDLE file, void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped)
{
    return guarded(QV_os_call::read_file, FALSE, [&] { return ReadFile(file, buffer, size, read, overlapped); });
}

BOOL qv_write_file(HANDLE file, const void* buffer, DWORD size, DWORD* written, OVERLAPPED* overlapped)
{
    return guarded(QV_os_call::write_file, FALSE,
                   [&] { return WriteFile(file, buffer, size, written, overlapped); });
}

BOOL qv_file_info(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size)
{
    return guarded(QV_os_call::file_info, FALSE,
                   [&] { return GetFileInformationByHandleEx(file, kind, info, size); });
}

BOOL qv_set_file_info(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size)
{
    return guarded(QV_os_call::set_file_info, FALSE,
                   [&] { return SetFileInformationByHandle(file, kind, info, size); });
}

namespace {

HANDLE open_relative(HANDLE folder, const wchar_t* name, size_t name_length, ACCESS_MASK access, ULONG share,
                     ULONG disposition, ULONG options, bool* created)
{
    if (name_length > 0x7FFF) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name);
    text.Length = static_cast<USHORT>(name_length * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = INVALID_HANDLE_VALUE;
    NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        SetLastError(RtlNtStatusToDosError(status));
        return INVALID_HANDLE_VALUE;
    }
    if (created)
        *created = io.Information == FILE_CREATED;
    return handle;
}

} // namespace

HANDLE qv_open_relative(HANDLE folder, const wchar_t* name, size_t name_length, ACCESS_MASK access, ULONG share,
                        ULONG disposition, ULONG options, bool* created)
{
    if (created)
        *created = false;
    return guarded(QV_os_call::open_relative, INVALID_HANDLE_VALUE, [&] {
        return open_relative(folder, name, name_length, access, share, disposition, options, created);
    });
}

BOOL qv_query_file(HANDLE file, void* info, ULONG size, ULONG kind)
{
    return guarded(QV_os_call::query_file, FALSE, [&] {
        IO_STATUS_BLOCK io{};
        NTSTATUS status = NtQueryInformationFile(file, &io, info, size, static_cast<FILE_INFORMATION_CLASS>(kind));
        if (status < 0)
            SetLastError(RtlNtStatusToDosError(status));
        return status >= 0 ? TRUE : FALSE;
    });
}

LONG qv_reg_create_key(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR key_class, DWORD options, REGSAM access,
                       LPSECURITY_ATTRIBUTES security, HKEY* key, DWORD* disposition)
{
    return guarded_reg(QV_os_call::reg_create_key, [&] {
        return RegCreateKeyExW(root, path, reserved, key_class, options, access, security, key, disposition);
    });
}

LONG qv_reg_set_value(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    return guarded_reg(QV_os_call::reg_set_value,
                       [&] { return RegSetValueExW(key, name, reserved, type, data, size); });
}

LONG qv_reg_delete_value(HKEY key, LPCWSTR name)
{
    return guarded_reg(QV_os_call::reg_delete_value, [&] { return RegDeleteValueW(key, name); });
}

LONG qv_reg_delete_key(HKEY root, LPCWSTR path)
{
    return guarded_reg(QV_os_call::reg_delete_key, [&] { return RegDeleteKeyW(root, path); });
}

LONG qv_reg_delete_key_ex(HKEY root, LPCWSTR path, REGSAM view, DWORD reserved)
{
    return guarded_reg(QV_os_call::reg_delete_key_ex, [&] { return RegDeleteKeyExW(root, path, view, reserved); });
}

int qv_fd_open(const char* name, int flags, int share, int mode)
{
    return guarded_fd(QV_os_call::fd_open, EACCES, [&] { return _sopen(name, flags, share, mode); });
}

int qv_fd_read(int descriptor, void* buffer, unsigned int count)
{
    return guarded_fd(QV_os_call::fd_read, EACCES, [&] { return _read(descriptor, buffer, count); });
}

int qv_fd_write(int descriptor, const void* buffer, unsigned int count)
{
    return guarded_fd(QV_os_call::fd_write, ENOSPC, [&] { return _write(descriptor, buffer, count); });
}

LONG qv_reg_open_key(HKEY root, LPCWSTR path, DWORD options, REGSAM access, HKEY* key)
{
    return guarded_reg(QV_os_call::reg_open_key, [&] { return RegOpenKeyExW(root, path, options, access, key); });
}

LONG WINAPI qv_reg_query_value_ex(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    return guarded_reg(QV_os_call::reg_query_value,
                       [&] { return RegQueryValueExW(key, name, reserved, type, data, size); });
}

BOOL qv_flush_file(HANDLE file)
{
    return guarded(QV_os_call::flush_file, FALSE, [&] { return FlushFileBuffers(file); });
}

DWORD qv_get_file_attributes(LPCWSTR name)
{
    return guarded(QV_os_call::get_attributes, INVALID_FILE_ATTRIBUTES, [&] { return GetFileAttributesW(name); });
}

DWORD qv_get_file_attributes(LPCSTR name)
{
    return guarded(QV_os_call::get_attributes, INVALID_FILE_ATTRIBUTES, [&] { return GetFileAttributesA(name); });
}

DWORD qv_get_temp_path(DWORD size, LPWSTR buffer)
{
    return guarded(QV_os_call::temp_path, DWORD{0}, [&] { return GetTempPathW(size, buffer); });
}

DWORD qv_get_temp_path(DWORD size, LPSTR buffer)
{
    return guarded(QV_os_call::temp_path, DWORD{0}, [&] { return GetTempPathA(size, buffer); });
}

DWORD qv_get_current_directory(DWORD size, LPWSTR buffer)
{
    return guarded(QV_os_call::current_directory, DWORD{0}, [&] { return GetCurrentDirectoryW(size, buffer); });
}

DWORD qv_final_path(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags)
{
    return guarded(QV_os_call::final_path, DWORD{0},
                   [&] { return GetFinalPathNameByHandleW(file, buffer, size, flags); });
}

BOOL qv_file_identity(HANDLE file, BY_HANDLE_FILE_INFORMATION* info)
{
    return guarded(QV_os_call::file_identity, FALSE, [&] { return GetFileInformationByHandle(file, info); });
}

BOOL qv_file_size(HANDLE file, LARGE_INTEGER* size)
{
    return guarded(QV_os_call::file_size, FALSE, [&] { return GetFileSizeEx(file, size); });
}

BOOL qv_set_file_pointer(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* position, DWORD method)
{
    return guarded(QV_os_call::set_file_pointer, FALSE,
                   [&] { return SetFilePointerEx(file, distance, position, method); });
}

BOOL qv_set_end_of_file(HANDLE file)
{
    return guarded(QV_os_call::set_end_of_file, FALSE, [&] { return SetEndOfFile(file); });
}

// A close that fails has still given the descriptor up, so an injected failure
// closes it too.
int qv_fd_close(int descriptor)
{
    if (DWORD error = injected(QV_os_call::fd_close)) {
        _close(descriptor);
        SetLastError(error);
        errno = EBADF;
        return -1;
    }
    return guarded_fd(QV_os_call::fd_close, EBADF, [&] { return _close(descriptor); }, false);
}

long qv_fd_seek(int descriptor, long distance, int origin)
{
    long result = -1;
    guarded_fd(QV_os_call::fd_seek, EBADF, [&] {
        result = _lseek(descriptor, distance, origin);
        return 0;
    });
    return result;
}

int qv_fd_remove(const char* name)
{
    return guarded_fd(QV_os_call::fd_remove, EACCES, [&] { return remove(name); });
}

LONG qv_reg_enum_key(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPWSTR key_class,
                     LPDWORD class_length, PFILETIME written)
{
    return guarded_reg(QV_os_call::reg_enum_key, [&] {
        return RegEnumKeyExW(key, index, name, name_length, reserved, key_class, class_length, written);
    });
}

LONG qv_reg_query_info_key(HKEY key, LPWSTR key_class, LPDWORD class_length, LPDWORD reserved, LPDWORD subkeys,
                           LPDWORD longest_subkey, LPDWORD longest_class, LPDWORD values, LPDWORD longest_value_name,
                           LPDWORD longest_value, LPDWORD security, PFILETIME written)
{
    return guarded_reg(QV_os_call::reg_query_info_key, [&] {
        return RegQueryInfoKeyW(key, key_class, class_length, reserved, subkeys, longest_subkey, longest_class, values,
                                longest_value_name, longest_value, security, written);
    });
}

HANDLE qv_create_mutex_object(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCWSTR name)
{
    return guarded(QV_os_call::create_mutex, HANDLE{nullptr}, [&] { return CreateMutexW(security, owned, name); });
}

ATOM qv_add_atom(LPCWSTR name)
{
    return guarded(QV_os_call::add_atom, ATOM{0}, [&] { return GlobalAddAtomW(name); });
}

ATOM qv_find_atom(LPCWSTR name)
{
    return guarded(QV_os_call::find_atom, ATOM{0}, [&] { return GlobalFindAtomW(name); });
}

ATOM qv_delete_atom(ATOM atom)
{
    return guarded(QV_os_call::delete_atom, atom, [&] { return GlobalDeleteAtom(atom); });
}
