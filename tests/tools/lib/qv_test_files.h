#pragma once
// Folder helpers the tests' sandboxes share.

#include <windows.h>

#include <string>
#include <vector>

// Names of the entries in folder, "." and ".." left out, in the order the file
// system gives them; empty when the folder cannot be read.
inline std::vector<std::wstring> qv_folder_entries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Removes folder and everything in it, read-only files included; a folder that
// is not there is no failure.
inline void qv_remove_tree(const std::wstring& folder)
{
    for (const std::wstring& name : qv_folder_entries(folder)) {
        std::wstring child = folder + L"\\" + name;
        DWORD attributes = GetFileAttributesW(child.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            qv_remove_tree(child);
        } else {
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(child.c_str());
        }
    }
    RemoveDirectoryW(folder.c_str());
}

// Creates (or empties) the file at path and writes bytes into it; true when all went in.
inline bool qv_write_file(const std::wstring& path, const std::string& bytes = "")
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool whole = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                                   && written == bytes.size());
    CloseHandle(file);
    return whole;
}

// An empty folder of the test process's own in the temporary folder: "<name> <pid>",
// emptied first when a run before left it behind.
inline std::wstring qv_fresh_sandbox(const std::wstring& name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + L" " + std::to_wstring(GetCurrentProcessId());
    qv_remove_tree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}
