#include "registry/qv_reg_dword_entry.h"

#include "registry/qv_registry_keys.h"
#include "trace/qv_trace.h"

#include <new>

QV_reg_dword_entry::QV_reg_dword_entry(DWORD view_, HKEY root_, const QV_string& key_path_,
                                       const QV_string& value_name_, DWORD value_, DWORD is_volatile_)
    : QV_reg_entry(view_, root_, key_path_), value_name(value_name_), value(value_), is_volatile(is_volatile_)
{
}

QV_reg_dword_entry::~QV_reg_dword_entry() = default;

LONG QV_reg_dword_entry::install()
{
    static const wchar_t* const NAME = L"QV_reg_dword_entry::install";
    qv_trace_enter(NAME, 0, L"Key: %s, Value: %s\n", qv_text_of(key_path), qv_text_of(value_name));
    QV_reg_key key;
    LONG result = create_key(view, root, key_path.c_str(), key, is_volatile);
    if (result != ERROR_SUCCESS) {
        qv_trace_printf(NAME, L"Failed to create key: %s\n", qv_text_of(key_path));
        qv_trace_error(NAME, static_cast<DWORD>(result));
        return result;
    }
    DWORD data = value;
    result = RegSetValueExW(key.get(), value_name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof(data));
    key.reset();
    if (result != ERROR_SUCCESS) {
        qv_trace_printf(NAME, L"Failed to set value: %s\n", qv_text_of(value_name));
        qv_trace_error(NAME, static_cast<DWORD>(result));
    }
    return result;
}

LONG QV_reg_dword_entry::uninstall()
{
    static const wchar_t* const NAME = L"QV_reg_dword_entry::uninstall";
    qv_trace_enter(NAME, 0, L"Key: %s, Value: %s\n", qv_text_of(key_path), qv_text_of(value_name));
    if (is_volatile != 0)
        return ERROR_SUCCESS;
    QV_reg_key key;
    LONG result = open_key(view, root, key_path.c_str(), key, false);
    if (result == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) {
        qv_trace_error(NAME, static_cast<DWORD>(result));
        return result;
    }
    result = RegDeleteValueW(key.get(), value_name.c_str());
    key.reset();
    if (result == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS)
        qv_trace_error(NAME, static_cast<DWORD>(result));
    return result;
}

QV_reg_entry* QV_reg_dword_entry::clone() const
{
    return new (std::nothrow) QV_reg_dword_entry(view, root, key_path, value_name, value, is_volatile);
}
