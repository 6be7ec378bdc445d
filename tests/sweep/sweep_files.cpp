// File helpers the scenarios share, all taking paths of any length.

#include "sweep.h"

#include "qv_test_files.h"

#include <algorithm>

Sweep_scenario::Sweep_scenario(std::wstring name) : name_(std::move(name)), root_(L"C:\\sweep\\" + name_) {}

bool sweep_exists(const std::wstring& path)
{
    return GetFileAttributesW(qv_long_form(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string sweep_read(const std::wstring& path, bool* found)
{
    std::string bytes;
    HANDLE file = CreateFileW(qv_long_form(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (found)
        *found = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void sweep_write(const std::wstring& path, const std::string& bytes)
{
    qv_write_file(qv_long_form(path), bytes);
}

void sweep_make_folder(const std::wstring& path)
{
    CreateDirectoryW(qv_long_form(path).c_str(), nullptr);
}

std::vector<std::wstring> sweep_entries(const std::wstring& folder)
{
    std::vector<std::wstring> names = qv_folder_entries(qv_long_form(folder));
    std::sort(names.begin(), names.end());
    return names;
}

std::string sweep_narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[12];
            _snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

std::string sweep_extra(const std::vector<std::wstring>& have, const std::vector<std::wstring>& want)
{
    std::string extra;
    for (const std::wstring& name : have) {
        if (std::find(want.begin(), want.end(), name) == want.end())
            extra += (extra.empty() ? "" : ", ") + sweep_narrow(name);
    }
    return extra;
}
