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

// The form of an absolute path that the file functions take beyond MAX_PATH; a
// relative path stays as it is.
inline std::wstring qv_long_form(const std::wstring& path)
{
    if (path.rfind(L"\\\\", 0) == 0)
        return path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\UNC" + path.substr(1);
    bool drive_absolute = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    return drive_absolute && path.find(L'/') == std::wstring::npos ? L"\\\\?\\" + path : path;
}

// Removes folder and everything in it, read-only files and folders and paths
// beyond MAX_PATH included; a folder that is not there is no failure. A link is removed as a link,
// never followed: a sandbox may hold one that points outside it (one that cannot
// be removed stays, with its folder).
inline void qv_remove_tree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(qv_long_form(folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = qv_long_form(folder + L"\\" + name);
            DWORD attributes = found.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                qv_remove_tree(folder + L"\\" + name);
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(child.c_str());
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SetFileAttributesW(qv_long_form(folder).c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(qv_long_form(folder).c_str());
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
