// Test helper: writes <count> message records "<tag> <i> <filler>\n" to the trace,
// the filler's length varying with i, so concurrent writers interleave lines of
// different lengths.
#include "trace/qv_trace.h"

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
    int count = _wtoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        std::wstring filler(static_cast<size_t>((i * 37) % 301), static_cast<wchar_t>(L'a' + i % 26));
        qv_trace_printf(L"child", L"%s %d %s\n", argv[1], i, filler.c_str());
    }
    LocalFree(argv);
    return 0;
}
