// Test helper: takes the named mutex "Local\<name>" with ownership, signals the
// event "Local\<name>_ready", then waits for "Local\<name>_go" and either
// releases the mutex (mode "release") or ends still owning it (mode "abandon").
#include "base/qv_mutex.h"

#include <shellapi.h>
#include <windows.h>

#include <cwchar>
#include <string>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3)
        return 2;
    std::wstring name = argv[1];
    bool abandon = std::wcscmp(argv[2], L"abandon") == 0;
    HANDLE mutex = qv_create_mutex(name.c_str(), false, true);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + name + L"_ready").c_str());
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + name + L"_go").c_str());
    if (!mutex || !ready || !go)
        return 3;
    SetEvent(ready);
    WaitForSingleObject(go, 30000);
    if (!abandon)
        ReleaseMutex(mutex);
    LocalFree(argv);
    return 0;  // process end closes every handle; an owned mutex becomes abandoned
}
