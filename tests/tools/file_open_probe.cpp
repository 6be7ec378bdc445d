// Test helper: tries to open a file the way another process would.
//
//   file_open_probe read|write <path>
//
// read asks for reading, write for appending; both share reading and writing. The
// exit code is 0 when the open succeeded, otherwise the error code of the open
// (32 when the file is held with a share mode that refuses the access).

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3)
        return -1;
    DWORD access = wcscmp(argv[1], L"write") == 0 ? FILE_APPEND_DATA : GENERIC_READ;
    HANDLE file = CreateFileW(argv[2], access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    LocalFree(argv);
    return static_cast<int>(error);
}
