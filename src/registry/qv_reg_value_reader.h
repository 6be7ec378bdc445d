#pragma once
// Reads a registry value as text, which is how the updater compares a requested
// value with the stored one. The reader never fails: what cannot be read is empty.

#include "base/qv_string.h"

#include <windows.h>

#include <vector>

class QV_reg_value_reader {
public:
    QV_reg_value_reader(DWORD view, HKEY root, const QV_string& key_path, const QV_string& value_name);

    // True when the key opens for update and the value is there.
    bool exists() const;
    // REG_SZ and REG_EXPAND_SZ unchanged (no expansion), REG_MULTI_SZ with each NUL
    // shown as ";", REG_DWORD in unsigned decimal; anything else is the empty text.
    QV_string get_text() const;

    DWORD view;
    HKEY root;
    QV_string key_path;
    QV_string value_name;
};

// A value's data as stored, in a zero-filled buffer at least two bytes longer than the
// data, so that text read from it is terminated even when the stored data is not.
struct QV_reg_value_data {
    DWORD type = REG_NONE;
    DWORD size = 0;                 // bytes of data
    std::vector<wchar_t> buffer;

    const BYTE* bytes() const { return reinterpret_cast<const BYTE*>(buffer.data()); }
    // The data as UTF-16 units; an odd last byte counts as a unit of its own.
    size_t units() const { return (size + 1) / sizeof(wchar_t); }
};

// Reads type and data of a value of an open key; asks again when the value grew
// between the size query and the read. On failure data is left empty.
LONG qv_reg_read_value(HKEY key, const wchar_t* value_name, QV_reg_value_data& data);

// Test seam: how qv_reg_read_value queries a value (RegQueryValueExW).
extern LONG(WINAPI* qv_reg_query_value)(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                        LPDWORD size);
