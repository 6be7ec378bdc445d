#pragma once
// The one layer through which the program changes or inspects what outlives it:
// files, folders, the registry, named objects and global atoms here; processes
// started and components created or called in qv_os_process.h. Each function is
// the system call of the same name, with the same arguments, results and last
// error; the product pays one test of a null pointer per call. Every command goes
// through here for these calls, so that a test can fail any of them, or end the
// process right after one that changes something, and look at what is left.
//
// The cabinet library's file callbacks go through the descriptor calls, which are
// the C runtime's of the same name.
//
// Left out, on purpose: the console's standard handles (writing the program's
// output is no change to keep or take back), the XML reader's own file access
// (src/xml reads a document it is handed and writes nothing), closing a handle
// (the owner types of qv_unique.h close what the layer opened; a close that fails
// changes nothing a test could look at), and the reads that only name things
// (module and special folder paths, the shell's path tests, GetLongPathNameW).
// tests/scripts/raw_calls.sh fails the build's check when a call of the list it
// holds appears anywhere else in src.

#include <windows.h>

enum class QV_os_call : unsigned char {
    create_file,
    copy_file,
    move_file,
    replace_file,
    delete_file,
    remove_directory,
    create_directory,
    set_attributes,
    find_first,
    find_next,
    read_file,
    write_file,
    file_info,
    set_file_info,
    open_relative,
    query_file,
    reg_create_key,
    reg_set_value,
    reg_delete_value,
    reg_delete_key,
    reg_delete_key_ex,
    fd_open,
    fd_read,
    fd_write,
    reg_open_key,
    reg_query_value,
    flush_file,
    get_attributes,
    temp_path,
    current_directory,
    final_path,
    file_identity,
    file_size,
    set_file_pointer,
    set_end_of_file,
    fd_close,
    fd_seek,
    fd_remove,
    reg_enum_key,
    reg_query_info_key,
    create_mutex,
    add_atom,
    find_atom,
    delete_atom,
    // The process and component calls of qv_os_process.h.
    shell_execute,
    create_instance,
    component_call,
    count
};

// The call's name as a person reads it in a test's report ("CreateFileW").
const char* qv_os_call_name(QV_os_call call) noexcept;

// True for a call that may change what outlives the process (a file, a key, an
// atom, the driver's state, a started process); false for one that only reads or
// names. A process ended right after a read leaves what it found, so a test ends
// processes only after the calls that change something.
bool qv_os_call_changes(QV_os_call call) noexcept;

// Test seam. The product leaves it null. A test's probe is asked before each
// call of the layer: 0 lets the call run, any other value is the Win32 error
// the call fails with, without running (last error set, the call's own failure
// result returned; for the registry calls the error is the result). after() is
// told of each call that ran, once it returned, its result and last error kept.
struct QV_os_probe {
    DWORD (*before)(QV_os_call call);
    void (*after)(QV_os_call call);
};
extern const QV_os_probe* qv_os_probe;

// Each takes exactly the arguments of the call it stands for.
HANDLE qv_create_file(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                      DWORD flags, HANDLE template_file);
HANDLE qv_create_file(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                      DWORD flags, HANDLE template_file);
BOOL qv_copy_file(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists);
BOOL qv_move_file(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL qv_replace_file(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, void* exclude,
                     void* reserved);
BOOL qv_delete_file(LPCWSTR name);
BOOL qv_remove_directory(LPCWSTR name);
BOOL qv_create_directory(LPCWSTR name, LPSECURITY_ATTRIBUTES security);
BOOL qv_set_file_attributes(LPCWSTR name, DWORD attributes);
HANDLE qv_find_first_file(LPCWSTR pattern, WIN32_FIND_DATAW* found);
BOOL qv_find_next_file(HANDLE search, WIN32_FIND_DATAW* found);
BOOL qv_read_file(HANDLE file, void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped);
BOOL qv_write_file(HANDLE file, const void* buffer, DWORD size, DWORD* written, OVERLAPPED* overlapped);
BOOL qv_file_info(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size);
// SetFileInformationByHandle: a rename or a deletion through a held handle.
BOOL qv_set_file_info(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size);

// NtCreateFile of `name` (one component, name_length characters, not terminated
// necessarily) relative to the open folder `folder`: the system resolves that one
// name inside that folder and nothing else, so a folder renamed or replaced after
// it was opened cannot send the open elsewhere. disposition and options are
// NtCreateFile's (FILE_OPEN, FILE_CREATE, FILE_OPEN_REPARSE_POINT,
// FILE_DIRECTORY_FILE...); SYNCHRONIZE and FILE_SYNCHRONOUS_IO_NONALERT are always
// added, so the handle reads and writes like one from CreateFileW. On success
// *created (when given) tells whether the call created the file. On failure:
// INVALID_HANDLE_VALUE, the last error the Win32 error of the status (RtlNtStatusToDosError:
// an exclusive create of a taken name gives ERROR_ALREADY_EXISTS, where CreateFileW
// would say ERROR_FILE_EXISTS), *created false.
HANDLE qv_open_relative(HANDLE folder, const wchar_t* name, size_t name_length, ACCESS_MASK access, ULONG share,
                        ULONG disposition, ULONG options, bool* created = nullptr);
// NtQueryInformationFile of an open file (kind: a FILE_INFORMATION_CLASS, such as
// FileInternalInformation, the file id a folder's listing shows). FALSE on
// failure, the last error the Win32 error of the status.
BOOL qv_query_file(HANDLE file, void* info, ULONG size, ULONG kind);

LONG qv_reg_create_key(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR key_class, DWORD options, REGSAM access,
                       LPSECURITY_ATTRIBUTES security, HKEY* key, DWORD* disposition);
LONG qv_reg_set_value(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG qv_reg_delete_value(HKEY key, LPCWSTR name);
LONG qv_reg_delete_key(HKEY root, LPCWSTR path);
LONG qv_reg_delete_key_ex(HKEY root, LPCWSTR path, REGSAM view, DWORD reserved);

// The C runtime's descriptor calls (_sopen, _read, _write): -1 with errno on
// failure. An injected failure sets errno to EACCES (ENOSPC for a write) and the
// last error to the injected one.
int qv_fd_open(const char* name, int flags, int share, int mode);
int qv_fd_read(int descriptor, void* buffer, unsigned int count);
int qv_fd_write(int descriptor, const void* buffer, unsigned int count);

// The reads whose answer decides a registry change (is the value there, what does
// it hold), so that a test can fail them too.
LONG qv_reg_open_key(HKEY root, LPCWSTR path, DWORD options, REGSAM access, HKEY* key);
LONG WINAPI qv_reg_query_value_ex(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                  LPDWORD size);

// FlushFileBuffers: what was written through the handle reaches the disk.
BOOL qv_flush_file(HANDLE file);

// GetFileAttributesW / GetFileAttributesA.
DWORD qv_get_file_attributes(LPCWSTR name);
DWORD qv_get_file_attributes(LPCSTR name);
// GetTempPathW / GetTempPathA, GetCurrentDirectoryW: 0 with the last error on failure.
DWORD qv_get_temp_path(DWORD size, LPWSTR buffer);
DWORD qv_get_temp_path(DWORD size, LPSTR buffer);
DWORD qv_get_current_directory(DWORD size, LPWSTR buffer);
// GetFinalPathNameByHandleW.
DWORD qv_final_path(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags);
// GetFileInformationByHandle: the volume and index that tell two names of one file.
BOOL qv_file_identity(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
// GetFileSizeEx, SetFilePointerEx, SetEndOfFile.
BOOL qv_file_size(HANDLE file, LARGE_INTEGER* size);
BOOL qv_set_file_pointer(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* position, DWORD method);
BOOL qv_set_end_of_file(HANDLE file);

// The C runtime's _close, _lseek and remove: -1 (remove: non-zero) with errno on
// failure; an injected failure sets errno to EBADF (_close, _lseek) or EACCES. A
// failed close has given the descriptor up all the same, the injected one too.
int qv_fd_close(int descriptor);
long qv_fd_seek(int descriptor, long distance, int origin);
int qv_fd_remove(const char* name);

// RegEnumKeyExW, RegQueryInfoKeyW.
LONG qv_reg_enum_key(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPWSTR key_class,
                     LPDWORD class_length, PFILETIME written);
LONG qv_reg_query_info_key(HKEY key, LPWSTR key_class, LPDWORD class_length, LPDWORD reserved, LPDWORD subkeys,
                           LPDWORD longest_subkey, LPDWORD longest_class, LPDWORD values, LPDWORD longest_value_name,
                           LPDWORD longest_value, LPDWORD security, PFILETIME written);

// CreateMutexW; the last error tells ERROR_ALREADY_EXISTS as the system does.
HANDLE qv_create_mutex_object(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCWSTR name);
// GlobalAddAtomW, GlobalFindAtomW, GlobalDeleteAtom: 0 with the last error on
// failure (GlobalDeleteAtom: its argument back).
ATOM qv_add_atom(LPCWSTR name);
ATOM qv_find_atom(LPCWSTR name);
ATOM qv_delete_atom(ATOM atom);

// For the sibling layers: the probe's question before a call (0: run it; else
// the error it fails with) and its notice after a call that ran.
DWORD qv_os_before(QV_os_call call) noexcept;
void qv_os_after(QV_os_call call) noexcept;
