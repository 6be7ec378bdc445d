// Baseline for scripts/bench: the least a copy that survives a power cut needs, a
// copy (CopyFileW) followed by a flush of the new file (FlushFileBuffers).
//   bench_copy_flush <source> <destination>
#include <windows.h>
#include <shellapi.h>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3)
        return 2;
    if (!CopyFileW(argv[1], argv[2], FALSE))
        return 1;
    HANDLE copy = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    BOOL flushed = copy != INVALID_HANDLE_VALUE && FlushFileBuffers(copy);
    if (copy != INVALID_HANDLE_VALUE)
        CloseHandle(copy);
    LocalFree(argv);
    return flushed ? 0 : 1;
}
