#include "registry/qv_reg_sz_entry.h"

#include "base/qv_os.h"

#include "registry/qv_registry_keys.h"
#include "trace/qv_trace.h"

#include <new>

QV_reg_sz_entry::QV_reg_sz_entry(DWORD view_, HKEY root_, const QV_string& key_path_,
                                 const QV_string& value_name_, const QV_string& data_)
    : QV_reg_entry(view_, root_, key_path_), value_name(value_name_), data(data_)
{
}

QV_reg_sz_entry::~QV_reg_sz_entry() = default;

LONG QV_reg_sz_entry::install()
{
    static const wchar_t* const NAME = L"QV_reg_sz_entry::install";
    qv_trace_enter(NAME, 0, L"Key: %s, Value: %s\n", qv_text_of(key_path), qv_text_of(value_name));
    QV_reg_key key;
    LONG result = create_for_install(NAME, key, 0);
    if (result != ERROR_SUCCESS)
        return result;
    DWORD bytes = static_cast<DWORD>((data.length() + 1) * sizeof(wchar_t));
    return set_value(NAME, key, value_name, REG_SZ, qv_text_of(data), bytes);
}

LONG QV_reg_sz_entry::uninstall()
{
    static const wchar_t* const NAME = L"QV_reg_sz_entry::uninstall";
    qv_trace_enter(NAME, 0, L"Key: %s, Value: %s\n", qv_text_of(key_path), qv_text_of(value_name));
    QV_reg_key key;
    LONG result = open_key(view, root, key_path.c_str(), key, false);
    if (result == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) {
        qv_trace_failed_status(NAME, result, L"Failed to open key: %s\n", qv_text_of(key_path));
        return result;
    }
    result = qv_reg_delete_value(key.get(), value_name.c_str());
    key.reset();
    if (result == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) {
        qv_trace_failed_status(NAME, result, L"Failed to delete value: %s\n", qv_text_of(value_name));
    }
    return result;
}

QV_reg_entry* QV_reg_sz_entry::clone() const
{
    return new (std::nothrow) QV_reg_sz_entry(view, root, key_path, value_name, data);
}
