#pragma once
// Sandboxes and read-back helpers for the registry tests. The updater writes to the
// product's fixed keys, so each test starts by removing them.

#include "qv_test_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline const wchar_t* const KD_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD";
inline const wchar_t* const RM_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvRM";
inline const wchar_t* const SETTINGS_KEY = L"SOFTWARE\\Velmora\\Kaldisafe";
inline const wchar_t* const MEMORY_KEY = L"System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
inline const wchar_t* const REBOOT_KEY = L"SYSTEM\\CurrentControlSet\\services\\VlmCvKD\\RebootRequest";
// Where the entry tests keep their own keys.
inline const wchar_t* const SANDBOX_KEY = L"Software\\QvRegistryTests";

inline void delete_tree(HKEY root, const wchar_t* path)
{
    LONG result = RegDeleteTreeW(root, path);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
        RegDeleteKeyW(root, path);
}

inline void create_key(HKEY root, const wchar_t* path, DWORD options = REG_OPTION_NON_VOLATILE)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

// Removes every key and value the updater may write or remove (the current user's
// product key included), then creates the two service
// keys as the product's installer would (list values are never written into a
// missing key).
inline void reset_product_keys(bool create_service_keys = true)
{
    delete_tree(HKEY_LOCAL_MACHINE, KD_KEY);
    delete_tree(HKEY_LOCAL_MACHINE, RM_KEY);
    delete_tree(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
    delete_tree(HKEY_CURRENT_USER, SETTINGS_KEY);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MEMORY_KEY, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"ClearPageFileAtShutdown");
        RegCloseKey(key);
    }
    if (create_service_keys) {
        create_key(HKEY_LOCAL_MACHINE, KD_KEY);
        create_key(HKEY_LOCAL_MACHINE, RM_KEY);
    }
}

// Leaves the registry as the tests found it: no product keys, and no empty vendor
// key that other suites would mistake for their own.
inline void remove_product_keys()
{
    reset_product_keys(false);
    delete_tree(HKEY_LOCAL_MACHINE, KD_KEY);
    delete_tree(HKEY_LOCAL_MACHINE, RM_KEY);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Velmora");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velmora");
}

struct Stored {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    bool exists() const { return result == ERROR_SUCCESS; }
    DWORD dword() const { return data.size() == 4 ? *reinterpret_cast<const DWORD*>(data.data()) : 0xBADBADu; }
    std::wstring text() const
    {
        return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    }
};

inline Stored read_value(HKEY root, const wchar_t* path, const wchar_t* name)
{
    Stored stored;
    DWORD size = 0;
    stored.result = RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &stored.type, nullptr, &size);
    if (stored.result != ERROR_SUCCESS)
        return stored;
    stored.data.resize(size);
    stored.result = RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &stored.type,
                                 size ? stored.data.data() : nullptr, &size);
    stored.data.resize(size);
    return stored;
}

inline void write_value(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    LONG result = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, result);
}

inline void write_dword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value)
{
    write_value(root, path, name, REG_DWORD, &value, sizeof(value));
}

inline void write_sz(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text,
                     DWORD type = REG_SZ)
{
    write_value(root, path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The data of a REG_MULTI_SZ list with these entries, the closing NUL included.
inline std::wstring multi_sz(const std::vector<std::wstring>& entries)
{
    std::wstring data;
    for (const std::wstring& entry : entries) {
        data += entry;
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return data;
}

inline ::testing::AssertionResult dword_is(HKEY root, const wchar_t* path, const wchar_t* name, DWORD expected)
{
    Stored stored = read_value(root, path, name);
    if (!stored.exists())
        return ::testing::AssertionFailure() << "no value, error " << stored.result;
    if (stored.type != REG_DWORD || stored.dword() != expected)
        return ::testing::AssertionFailure() << "type " << stored.type << " value " << stored.dword()
                                             << ", expected REG_DWORD " << expected;
    return ::testing::AssertionSuccess();
}

inline bool value_exists(HKEY root, const wchar_t* path, const wchar_t* name)
{
    return read_value(root, path, name).exists();
}
