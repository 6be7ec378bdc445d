// Switching user-mode tracing on and off for the whole machine.
#include "trace/qv_trace.h"

#include "base/qv_os.h"
#include "base/qv_unique.h"
#include "trace/qv_trace_seams.h"

void(WINAPI* qv_trace_switch_pause)(DWORD) = Sleep;

namespace {

constexpr const wchar_t* ATOM_NAME = L"{7E40A9C5-62D1-4f3b-8C17-B95E03D2A64C}_QVD";
// Writers re-read the switch this often; waiting as long after switching means
// every running process has seen the change before its next record.
constexpr DWORD SETTLE_MS = 3000;

const wchar_t* root_name(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE" : L"HKEY_CURRENT_USER";
}

// ERROR_SUCCESS once root's switch is set, else the error that stopped it.
LONG set_switch_value(HKEY root)
{
    QV_reg_key key;
    LONG result = qv_reg_create_key(root, QV_LOGGING_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                                    nullptr, key.put(), nullptr);
    if (result == ERROR_SUCCESS) {
        DWORD on = 1;
        result = qv_reg_set_value(key.get(), QV_TRACE_SWITCH_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                                  sizeof(on));
    }
    if (result != ERROR_SUCCESS)
        qv_trace_failed_status(L"qv_enable_user_mode_trace", result, L"Failed to set %s under %s\n",
                               QV_TRACE_SWITCH_VALUE, root_name(root));
    return result;
}

// Read back as every writer reads it (a 4-byte REG_DWORD 1 is on). A switch that
// cannot be read for another reason than its absence counts as on: nobody may be
// told it is off.
bool switch_stays_on(HKEY root)
{
    QV_reg_key key;
    LONG opened = qv_reg_open_key(root, QV_LOGGING_KEY, 0, KEY_QUERY_VALUE, key.put());
    if (opened != ERROR_SUCCESS)
        return opened != ERROR_FILE_NOT_FOUND;
    DWORD type = 0, value = 0, size = sizeof(value);
    LONG read = qv_reg_query_value_ex(key.get(), QV_TRACE_SWITCH_VALUE, nullptr, &type,
                                      reinterpret_cast<BYTE*>(&value), &size);
    if (read == ERROR_FILE_NOT_FOUND || read == ERROR_MORE_DATA)
        return false;
    return read != ERROR_SUCCESS || (type == REG_DWORD && size == sizeof(value) && value == 1);
}

// The key goes when nothing else lives in it (RegDeleteKeyW removes no key that has
// subkeys); when it stays, its switch value goes. ERROR_SUCCESS when root's switch
// no longer turns tracing on, else the error of the removal that failed.
LONG remove_switch(HKEY root)
{
    LONG result = qv_reg_delete_key(root, QV_LOGGING_KEY);
    if (result == ERROR_SUCCESS)
        return result;
    QV_reg_key key;
    result = qv_reg_open_key(root, QV_LOGGING_KEY, 0, KEY_SET_VALUE, key.put());
    if (result == ERROR_SUCCESS)
        result = qv_reg_delete_value(key.get(), QV_TRACE_SWITCH_VALUE);
    if (result == ERROR_SUCCESS || !switch_stays_on(root))
        return ERROR_SUCCESS;
    qv_trace_failed_status(L"qv_disable_user_mode_trace", result, L"Failed to remove %s under %s\n",
                           QV_TRACE_SWITCH_VALUE, root_name(root));
    return result;
}

} // namespace

DWORD qv_enable_user_mode_trace()
{
    qv_add_atom(ATOM_NAME);
    // A failure under one root (a user without write access to HKEY_LOCAL_MACHINE)
    // does not stop the other.
    LONG user = set_switch_value(HKEY_CURRENT_USER);
    LONG machine = set_switch_value(HKEY_LOCAL_MACHINE);
    qv_trace_switch_pause(SETTLE_MS);
    return static_cast<DWORD>(user != ERROR_SUCCESS ? user : machine);
}

DWORD qv_disable_user_mode_trace()
{
    ATOM atom = qv_find_atom(ATOM_NAME);
    if (atom)
        qv_delete_atom(atom);
    // RegDeleteKeyW removes only keys without subkeys: the parents go only when
    // nothing else of the vendor lives in them.
    LONG user = remove_switch(HKEY_CURRENT_USER);
    qv_reg_delete_key(HKEY_CURRENT_USER, L"Software\\Velmora\\Corvessa");
    qv_reg_delete_key(HKEY_CURRENT_USER, L"Software\\Velmora");
    LONG machine = remove_switch(HKEY_LOCAL_MACHINE);
    qv_trace_switch_pause(SETTLE_MS);
    return static_cast<DWORD>(user != ERROR_SUCCESS ? user : machine);
}
