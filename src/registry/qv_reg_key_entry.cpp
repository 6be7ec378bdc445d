#include "registry/qv_reg_key_entry.h"

#include "registry/qv_registry_keys.h"
#include "trace/qv_trace.h"

#include <new>

QV_reg_key_entry::QV_reg_key_entry(DWORD view_, HKEY root_, const QV_string& key_path_, DWORD is_volatile_)
    : QV_reg_entry(view_, root_, key_path_), is_volatile(is_volatile_)
{
}

QV_reg_key_entry::~QV_reg_key_entry() = default;

LONG QV_reg_key_entry::install()
{
    static const wchar_t* const NAME = L"QV_reg_key_entry::install";
    qv_trace_enter(NAME, 0, L"Key: %s\n", qv_text_of(key_path));
    QV_reg_key key;
    return create_for_install(NAME, key, is_volatile);
}

LONG QV_reg_key_entry::uninstall()
{
    static const wchar_t* const NAME = L"QV_reg_key_entry::uninstall";
    qv_trace_enter(NAME, 0, L"Key: %s\n", qv_text_of(key_path));
    LONG result = delete_key(view, root, key_path.c_str());
    if (result == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) {
        qv_trace_failed_status(NAME, result, L"Failed to delete key: %s\n", qv_text_of(key_path));
    }
    return result;
}

QV_reg_entry* QV_reg_key_entry::clone() const
{
    return new (std::nothrow) QV_reg_key_entry(view, root, key_path, is_volatile);
}
