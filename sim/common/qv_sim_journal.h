#pragma once
// Journals of the stand-ins: UTF-8 text files of one line per event, fields
// separated by tabs, read back by the tests.

#include <windows.h>

#include <string>
#include <vector>

inline std::string qv_sim_read_bytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

inline std::wstring qv_sim_from_utf8(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size()));
    wide.resize(count > 0 ? count : 0);
    return wide;
}

inline std::string qv_sim_to_utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 3 + 1, '\0');
    int count = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(count > 0 ? count : 0);
    return bytes;
}

// The tab-separated fields of one line.
inline std::vector<std::wstring> qv_sim_fields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

// Every complete line of a journal file, split into its fields, oldest first.
inline std::vector<std::vector<std::wstring>> qv_sim_journal_lines(const std::wstring& path)
{
    std::vector<std::vector<std::wstring>> lines;
    std::wstring text = qv_sim_from_utf8(qv_sim_read_bytes(path));
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(qv_sim_fields(text.substr(start, end - start)));
    return lines;
}
