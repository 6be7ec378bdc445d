#include "registry/qv_reg_dword_entry.h"

#include "base/qv_os.h"

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
    LONG result = create_for_install(NAME, key, is_volatile);
    if (result != ERROR_SUCCESS)
        return result;
    DWORD data = value;
    return set_value(NAME, key, value_name, REG_DWORD, &data, sizeof(data));
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
    result = qv_reg_delete_value(key.get(), value_name.c_str());
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
