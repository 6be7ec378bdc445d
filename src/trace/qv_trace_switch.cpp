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

void set_switch_value(HKEY root)
{
    QV_reg_key key;
    if (qv_reg_create_key(root, QV_LOGGING_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        return;  // e.g. no write access to HKEY_LOCAL_MACHINE: the other root still counts
    DWORD on = 1;
    qv_reg_set_value(key.get(), QV_TRACE_SWITCH_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                     sizeof(on));
}

// The key goes when nothing else lives in it (RegDeleteKeyW removes no key that has
// subkeys); when it stays, its switch value goes, so the switch is off either way.
void remove_switch(HKEY root)
{
    if (qv_reg_delete_key(root, QV_LOGGING_KEY) == ERROR_SUCCESS)
        return;
    QV_reg_key key;
    if (RegOpenKeyExW(root, QV_LOGGING_KEY, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        qv_reg_delete_value(key.get(), QV_TRACE_SWITCH_VALUE);
}

} // namespace

void qv_enable_user_mode_trace()
{
    GlobalAddAtomW(ATOM_NAME);
    set_switch_value(HKEY_CURRENT_USER);
    set_switch_value(HKEY_LOCAL_MACHINE);
    qv_trace_switch_pause(SETTLE_MS);
}

void qv_disable_user_mode_trace()
{
    ATOM atom = GlobalFindAtomW(ATOM_NAME);
    if (atom)
        GlobalDeleteAtom(atom);
    // RegDeleteKeyW removes only keys without subkeys: the parents go only when
    // nothing else of the vendor lives in them.
    remove_switch(HKEY_CURRENT_USER);
    qv_reg_delete_key(HKEY_CURRENT_USER, L"Software\\Velmora\\Corvessa");
    qv_reg_delete_key(HKEY_CURRENT_USER, L"Software\\Velmora");
    remove_switch(HKEY_LOCAL_MACHINE);
    qv_trace_switch_pause(SETTLE_MS);
}
