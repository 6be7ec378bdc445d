#include "registry/qv_reg_value_reader.h"

#include "registry/qv_reg_entry.h"

#include <cstdio>
#include <string>

LONG(WINAPI* qv_reg_query_value)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) = RegQueryValueExW;

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
    QV_reg_key key;
    if (QV_reg_entry::open_key(view, root, key_path.c_str(), key, false) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    return RegQueryValueExW(key.get(), value_name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

QV_string QV_reg_value_reader::get_text() const
{
    QV_reg_key key;
    if (QV_reg_entry::open_key(view, root, key_path.c_str(), key, false) != ERROR_SUCCESS)
        return QV_string();
    QV_reg_value_data data;
    if (qv_reg_read_value(key.get(), value_name.c_str(), data) != ERROR_SUCCESS)
        return QV_string();
    return text_of(data);
}
