#pragma once
// Registry read-backs the tests share.

#include <windows.h>

// True when the key at path under root can be opened for reading.
inline bool qv_key_exists(HKEY root, const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}
