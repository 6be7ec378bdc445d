#include "shell/dx_shell_version.h"

#include <cwchar>
#include <string>
#include <vector>

bool dx_get_file_version(const QV_path& file, QV_string& version)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return false;
    std::vector<BYTE> block(size, 0);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()))
        return false;
    // Only the first translation names the string table to read.
    void* found = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &found, &length) || !found || length < 4)
        return false;
    const WORD* translation = static_cast<const WORD*>(found);
    wchar_t name[101] = {};
    _snwprintf(name, 100, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
    found = nullptr;
    if (!VerQueryValueW(block.data(), name, &found, &length) || !found)
        return false;
    // The length is the query's own; the text ends at it even without a terminator.
    version = QV_string(std::wstring(static_cast<const wchar_t*>(found), length).c_str());
    return true;
}
