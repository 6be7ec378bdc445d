#include "registry/qv_reg_entry.h"

#include "base/qv_os.h"

#include "registry/qv_registry_keys.h"
#include "trace/qv_trace.h"

QV_reg_entry::QV_reg_entry(DWORD view_, HKEY root_, const QV_string& key_path_)
    : view(view_), root(root_), key_path(key_path_)
{
}

QV_reg_entry::~QV_reg_entry() = default;

REGSAM QV_reg_entry::view_flag(DWORD view)
{
    return (view == 1 || view == 2) ? KEY_WOW64_32KEY : 0;
}

const wchar_t* QV_reg_entry::root_name(HKEY root)
{
    if (root == HKEY_CLASSES_ROOT)
        return L"HKEY_CLASSES_ROOT";
    if (root == HKEY_CURRENT_USER)
        return L"HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE)
        return L"HKEY_LOCAL_MACHINE";
    return L"(Handle)";
}

LONG QV_reg_entry::create_key(DWORD view, HKEY root, const wchar_t* key_path, QV_reg_key& key,
                              DWORD is_volatile)
{
    static const wchar_t* const NAME = L"QV_reg_entry::create_key";
    REGSAM mask = QV_REG_UPDATE_ACCESS | view_flag(view);
    DWORD options = is_volatile == 1 ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
    const wchar_t* path = key_path ? key_path : L"";
    LONG result = qv_reg_create_key(root, path, 0, nullptr, options, mask, nullptr, key.put(), nullptr);
    if (result == ERROR_SUCCESS) {
        qv_trace_printf(NAME, L"Successfully created registry key, samDesired %08X root: %s name %s\n",
                        mask, root_name(root), path);
        return result;
    }
    key.reset();
    qv_trace_failed_status(NAME, result, L"Failed to create registry key, error %d samDesired %08X root: %s name %s\n",
                           result, mask, root_name(root), path);
    return result;
}

LONG QV_reg_entry::open_key(DWORD view, HKEY root, const wchar_t* key_path, QV_reg_key& key,
                            bool read_only)
{
    static const wchar_t* const NAME = L"QV_reg_entry::open_key";
    REGSAM mask = (read_only ? QV_REG_READ_ACCESS : QV_REG_UPDATE_ACCESS) | view_flag(view);
    const wchar_t* path = key_path ? key_path : L"";
    LONG result = qv_reg_open_key(root, path, 0, mask, key.put());
    if (result == ERROR_SUCCESS) {
        qv_trace_printf(NAME, L"Successfully opened registry key, samDesired %08X root: %s name %s\n",
                        mask, root_name(root), path);
        return result;
    }
    key.reset();
    qv_trace_failed_status(NAME, result, L"Failed to open registry key, error %d samDesired %08X root: %s name %s\n",
                           result, mask, root_name(root), path);
    return result;
}

LONG QV_reg_entry::delete_key(DWORD view, HKEY root, const wchar_t* key_path)
{
    static const wchar_t* const NAME = L"QV_reg_entry::delete_key";
    const wchar_t* path = key_path ? key_path : L"";
    LONG result = qv_reg_delete_key_ex(root, path, view_flag(view), 0);
    if (result == ERROR_SUCCESS)
        return result;
    qv_trace_failed_status(NAME, result, L"Failed to delete registry key, error %d root: %s name %s\n", result,
                           root_name(root), path);
    return result;
}

LONG QV_reg_entry::create_for_install(const wchar_t* function, QV_reg_key& key, DWORD is_volatile) const
{
    LONG result = create_key(view, root, key_path.c_str(), key, is_volatile);
    if (result != ERROR_SUCCESS) {
        qv_trace_failed_status(function, result, L"Failed to create key: %s\n", qv_text_of(key_path));
    }
    return result;
}

LONG QV_reg_entry::set_value(const wchar_t* function, QV_reg_key& key, const QV_string& value_name, DWORD type,
                             const void* data, DWORD size)
{
    LONG result = qv_reg_set_value(key.get(), value_name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    key.reset();
    if (result != ERROR_SUCCESS) {
        qv_trace_failed_status(function, result, L"Failed to set value: %s\n", qv_text_of(value_name));
    }
    return result;
}
