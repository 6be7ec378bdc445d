#pragma once
// Reads a registry value as text, which is how the updater compares a requested
// value with the stored one. The reader never fails: what cannot be read is empty.

#include "base/qv_string.h"

#include <windows.h>

#include <string>
#include <vector>

class QV_reg_stored_value;

class QV_reg_value_reader {
public:
    QV_reg_value_reader(DWORD view, HKEY root, const QV_string& key_path, const QV_string& value_name);

    // True when the key opens for update and the value is there.
    bool exists() const;
    // 0 when the value is there, ERROR_FILE_NOT_FOUND when it or its key is not,
    // any other code when that could not be told (a key denied for update, say).
    LONG presence() const;
    // REG_SZ and REG_EXPAND_SZ unchanged (no expansion), REG_MULTI_SZ with each NUL
    // shown as ";", REG_DWORD in unsigned decimal; anything else is the empty text.
    QV_string get_text() const;
    // The value as a rule finds it before it writes; absent when the key does not open
    // for update or the value cannot be read.
    QV_reg_stored_value read() const;

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

// Test seam: how qv_reg_read_value queries a value, the layer's
// qv_reg_query_value_ex. It stays beside the layer's probe because a test
// changes the value between two of its queries through it, which a probe that
// only fails or ends a call cannot do.
extern LONG(WINAPI* qv_reg_query_value)(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                        LPDWORD size);

// A stored value as the rule that writes it finds it before writing. A rule compares a
// requested value with it only through holds_text, holds_number or holds_entries, each
// of which answers true only for a value in the form that rule itself writes, the only
// form in which the driver and the product read it as that type:
//   text     REG_SZ whose text ends at a NUL inside the data
//   number   REG_DWORD of exactly 4 bytes
//   list     REG_MULTI_SZ whose list is closed by an empty entry inside the data
// Any other type (REG_EXPAND_SZ, REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY, a list
// for a text...) or shape is different from every requested value, so the rule writes
// it again in its own type. Within the own form values compare as their readers see
// them: a text up to its first NUL, a list up to its first empty entry.
class QV_reg_stored_value {
public:
    QV_reg_stored_value() = default;   // absent
    // Reads value_name of an open key; a value that cannot be read is absent.
    QV_reg_stored_value(HKEY key, const wchar_t* value_name);

    bool exists() const { return present; }
    // The value shown as get_text shows it, whatever its form (for change records).
    QV_string text() const;
    // A REG_SZ in its own form holding exactly this text (case counts).
    bool holds_text(const wchar_t* text) const;
    // A REG_DWORD in its own form holding this number.
    bool holds_number(DWORD number) const;
    // The number of a REG_DWORD in its own form; false, out untouched, for any other value.
    bool number(DWORD& out) const;
    // A REG_MULTI_SZ in its own form holding exactly these entries, in this order.
    bool holds_entries(const std::vector<std::wstring>& entries) const;

private:
    bool in_own_form(DWORD own_type) const;

    bool present = false;
    QV_reg_value_data data;
};
