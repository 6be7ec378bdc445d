#include "registry/qv_reg_value_reader.h"

#include "base/qv_os.h"
#include "registry/qv_policy_text.h"
#include "registry/qv_reg_entry.h"

#include <cstdio>
#include <cwchar>
#include <string>

LONG(WINAPI* qv_reg_query_value)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) = qv_reg_query_value_ex;

namespace {

// Reads with a buffer for size bytes plus two zero bytes; answers ERROR_MORE_DATA with
// the new size when the value grew.
LONG read_sized(HKEY key, const wchar_t* value_name, QV_reg_value_data& data, DWORD& size)
{
    data.buffer.assign((static_cast<size_t>(size) + 2 + 1) / sizeof(wchar_t) + 1, L'\0');
    DWORD type = REG_NONE;
    DWORD got = size;
    LONG result = qv_reg_query_value(key, value_name, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data.buffer.data()), &got);
    if (result == ERROR_MORE_DATA) {
        size = got > size ? got : size + 256;
        return result;
    }
    if (result == ERROR_SUCCESS) {
        data.type = type;
        data.size = got;
    }
    return result;
}

QV_string text_of_multi_sz(const QV_reg_value_data& data)
{
    std::wstring text(data.buffer.data(), data.units());
    for (wchar_t& c : text) {
        if (c == L'\0')
            c = L';';
    }
    return QV_string(text.c_str());
}

QV_string text_of(const QV_reg_value_data& data)
{
    switch (data.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return QV_string(data.buffer.data());
    case REG_MULTI_SZ:
        return text_of_multi_sz(data);
    case REG_DWORD:
        if (data.size != sizeof(DWORD))
            return QV_string();
        return QV_stringf(L"%lu", static_cast<unsigned long>(*reinterpret_cast<const DWORD*>(data.bytes())));
    default:
        return QV_string();
    }
}

// Whether the whole UTF-16 units of the data hold a NUL: the text ends inside the data.
bool text_terminated(const QV_reg_value_data& data)
{
    const wchar_t* units = data.buffer.data();
    for (size_t i = 0; i < data.size / sizeof(wchar_t); ++i) {
        if (units[i] == L'\0')
            return true;
    }
    return false;
}

// Whether the whole UTF-16 units of the data close their list with an empty entry.
bool list_closed(const QV_reg_value_data& data)
{
    const wchar_t* units = data.buffer.data();
    size_t count = data.size / sizeof(wchar_t);
    for (size_t start = 0; start < count;) {
        if (units[start] == L'\0')
            return true;
        while (start < count && units[start] != L'\0')
            ++start;
        ++start;   // past the entry's NUL
    }
    return false;
}

} // namespace

LONG qv_reg_read_value(HKEY key, const wchar_t* value_name, QV_reg_value_data& data)
{
    DWORD size = 0;
    LONG result = qv_reg_query_value(key, value_name, nullptr, nullptr, nullptr, &size);
    for (int attempt = 0; result == ERROR_SUCCESS || result == ERROR_MORE_DATA; ++attempt) {
        if (attempt == 16)
            break;
        result = read_sized(key, value_name, data, size);
        if (result == ERROR_SUCCESS)
            return result;
    }
    data = QV_reg_value_data();
    return result == ERROR_SUCCESS ? ERROR_MORE_DATA : result;
}

QV_reg_value_reader::QV_reg_value_reader(DWORD view_, HKEY root_, const QV_string& key_path_,
                                         const QV_string& value_name_)
    : view(view_), root(root_), key_path(key_path_), value_name(value_name_)
{
}

bool QV_reg_value_reader::exists() const
{
    return presence() == ERROR_SUCCESS;
}

LONG QV_reg_value_reader::presence() const
{
    QV_reg_key key;
    LONG result = QV_reg_entry::open_key(view, root, key_path.c_str(), key, false);
    if (result != ERROR_SUCCESS)
        return result;
    DWORD size = 0;
    return qv_reg_query_value_ex(key.get(), value_name.c_str(), nullptr, nullptr, nullptr, &size);
}

QV_string QV_reg_value_reader::get_text() const
{
    return read().text();
}

QV_reg_stored_value QV_reg_value_reader::read() const
{
    QV_reg_key key;
    if (QV_reg_entry::open_key(view, root, key_path.c_str(), key, false) != ERROR_SUCCESS)
        return QV_reg_stored_value();
    return QV_reg_stored_value(key.get(), value_name.c_str());
}

QV_reg_stored_value::QV_reg_stored_value(HKEY key, const wchar_t* value_name)
{
    present = qv_reg_read_value(key, value_name, data) == ERROR_SUCCESS;
}

QV_string QV_reg_stored_value::text() const
{
    return present ? text_of(data) : QV_string();
}

bool QV_reg_stored_value::in_own_form(DWORD own_type) const
{
    if (!present || data.type != own_type)
        return false;
    switch (own_type) {
    case REG_SZ:
        return text_terminated(data);
    case REG_DWORD:
        return data.size == sizeof(DWORD);
    case REG_MULTI_SZ:
        return list_closed(data);
    default:
        return false;
    }
}

bool QV_reg_stored_value::holds_text(const wchar_t* text) const
{
    return text && in_own_form(REG_SZ) && std::wcscmp(data.buffer.data(), text) == 0;
}

bool QV_reg_stored_value::number(DWORD& out) const
{
    if (!in_own_form(REG_DWORD))
        return false;
    out = *reinterpret_cast<const DWORD*>(data.bytes());
    return true;
}

bool QV_reg_stored_value::holds_number(DWORD wanted) const
{
    DWORD stored = 0;
    return number(stored) && stored == wanted;
}

bool QV_reg_stored_value::holds_entries(const std::vector<std::wstring>& entries) const
{
    return in_own_form(REG_MULTI_SZ) && qv_multi_sz_entries(data.buffer.data(), data.units()) == entries;
}
