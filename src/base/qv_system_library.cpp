#include "base/qv_system_library.h"

#include "trace/qv_trace.h"

#include <cwchar>

namespace {

constexpr size_t NAME_MAX_CHARS = 64;

bool is_plain_file_name(const wchar_t* name)
{
    if (name == nullptr || name[0] == L'\0' || std::wcslen(name) > NAME_MAX_CHARS)
        return false;
    if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0)
        return false;
    return std::wcspbrk(name, L"\\/:") == nullptr;
}

// The system folder joined with name, into path (room for MAX_PATH characters, a
// separator and a plain name). False when the folder cannot be read whole.
bool system_folder_file(const wchar_t* name, wchar_t (&path)[MAX_PATH + 1 + NAME_MAX_CHARS + 1])
{
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    if (path[length - 1] != L'\\')
        path[length++] = L'\\';
    std::wcscpy(path + length, name);
    return true;
}

void trace_failure(const wchar_t* call, const wchar_t* name, DWORD error)
{
    qv_trace_printf(L"qv_load_system_library", L"%s failed for %s\n", call, name);
    qv_trace_error(L"qv_load_system_library", error);
    SetLastError(error);
}

}  // namespace

void qv_restrict_library_search()
{
    DWORD error = GetLastError();
    using Set_default_directories = BOOL WINAPI(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set_default = qv_library_function<Set_default_directories>(kernel, "SetDefaultDllDirectories");
    if (set_default != nullptr)
        set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    SetLastError(error);
}

HMODULE qv_load_system_library(const wchar_t* file_name)
{
    if (!is_plain_file_name(file_name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    wchar_t path[MAX_PATH + 1 + NAME_MAX_CHARS + 1];
    if (!system_folder_file(file_name, path)) {
        DWORD error = GetLastError();
        trace_failure(L"GetSystemDirectoryW", file_name, error != 0 ? error : ERROR_BUFFER_OVERFLOW);
        return nullptr;
    }
    HMODULE library = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A system that does not know the flag refuses it; the full path still names
    // the system folder's file, and its imports are looked for beside it first.
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
        library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr)
        trace_failure(L"LoadLibraryExW", path, GetLastError());
    return library;
}
