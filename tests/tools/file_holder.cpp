// Test helper: holds a file open the way a program that is using it does,
// without delete sharing, until told to let go.
//
//   file_holder <path> <ready file>
//
// Opens path sharing reads and writes (not deletes), creates the ready file, and
// waits until the ready file is gone (at most 60 s). Exit code 0 when the file
// was held, otherwise the error code of the open.

#include <windows.h>
#include <shellapi.h>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3)
        return -1;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE)
        CloseHandle(ready);
    for (int waited = 0; waited < 600 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES; ++waited)
        Sleep(100);
    CloseHandle(file);
    LocalFree(argv);
    return 0;
}
