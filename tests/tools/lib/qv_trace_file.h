#pragma once
// The trace file and switch as tests see them: "TraceFile.qv" in the temporary
// folder, and EnableUserModeTrace under the logging key.

#include "trace/qv_trace.h"

#include <windows.h>

#include <string>
#include <vector>

inline std::wstring qv_trace_file_path()
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + L"TraceFile.qv";
}

inline void qv_delete_trace_file()
{
    DeleteFileW(qv_trace_file_path().c_str());
}

// The whole file as bytes; empty when it does not exist.
inline std::vector<unsigned char> qv_read_trace_bytes()
{
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileW(qv_trace_file_path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

// The file's text after the byte-order mark (UTF-16LE); empty without a file.
inline std::wstring qv_read_trace_text()
{
    std::vector<unsigned char> bytes = qv_read_trace_bytes();
    if (bytes.size() < 2)
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

// Sets EnableUserModeTrace under root's logging key to REG_DWORD value.
inline void qv_set_trace_switch(HKEY root, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyW(root, QV_LOGGING_KEY, &key) == ERROR_SUCCESS) {
        RegSetValueExW(key, QV_TRACE_SWITCH_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
        RegCloseKey(key);
    }
}

// Removes the switch under both roots, and the vendor keys when nothing else lives there.
inline void qv_clear_trace_switch()
{
    RegDeleteKeyW(HKEY_CURRENT_USER, QV_LOGGING_KEY);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Velmora\\Corvessa");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Velmora");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, QV_LOGGING_KEY);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Velmora\\Corvessa");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Velmora");
}

// Splits text after each line feed (the last piece may lack one).
inline std::vector<std::wstring> qv_split_lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        end = end == std::wstring::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// True when line starts with "HH:MM:SS [pid] "; *rest gets what follows.
inline bool qv_strip_stamp(const std::wstring& line, DWORD pid, std::wstring* rest)
{
    std::wstring tail = L" [" + std::to_wstring(pid) + L"] ";
    if (line.size() < 8 + tail.size())
        return false;
    for (int i : {0, 1, 3, 4, 6, 7}) {
        if (line[i] < L'0' || line[i] > L'9')
            return false;
    }
    if (line[2] != L':' || line[5] != L':' || line.compare(8, tail.size(), tail) != 0)
        return false;
    *rest = line.substr(8 + tail.size());
    return true;
}
