#include "shell/dx_shell_version.h"

#include "base/qv_version_library.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// True when bytes bytes from found lie inside the version block: up to where its
// root says it ends, never past what was read.
bool inside(const std::vector<BYTE>& block, const void* found, size_t bytes)
{
    size_t end = block.size();
    if (end >= sizeof(WORD)) {
        WORD root_length = 0;
        std::memcpy(&root_length, block.data(), sizeof root_length);
        end = root_length < end ? root_length : end;
    }
    auto at = reinterpret_cast<std::uintptr_t>(found), start = reinterpret_cast<std::uintptr_t>(block.data());
    return at >= start && at - start <= end && bytes <= end - (at - start);
}

} // namespace

bool dx_get_file_version(const QV_path& file, QV_string& version)
{
    DWORD ignored = 0;
    DWORD size = qv_ver::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return false;
    std::vector<BYTE> block(size, 0);
    if (!qv_ver::GetFileVersionInfoW(file.c_str(), 0, size, block.data()))
        return false;
    // Only the first translation names the string table to read.
    void* found = nullptr;
    UINT length = 0;
    if (!qv_ver::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &found, &length) || !found || length < 4
        || !inside(block, found, 4))
        return false;
    const WORD* translation = static_cast<const WORD*>(found);
    wchar_t name[101] = {};
    _snwprintf(name, 100, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
    found = nullptr;
    // The reported length is the entry's own claim: a value that would run past
    // the block is malformed, and the text ends at its first NUL.
    if (!qv_ver::VerQueryValueW(block.data(), name, &found, &length) || !found
        || !inside(block, found, size_t{length} * sizeof(wchar_t)))
        return false;
    const wchar_t* value = static_cast<const wchar_t*>(found);
    version = QV_string(std::wstring(value, std::find(value, value + length, L'\0')).c_str());
    return true;
}
