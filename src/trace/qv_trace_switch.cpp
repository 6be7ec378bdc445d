// Switching user-mode tracing on and off for the whole machine.
#include "trace/qv_trace.h"

#include "base/qv_os.h"
#include "base/qv_unique.h"
#include "trace/qv_trace_seams.h"

void(WINAPI* qv_trace_switch_pause)(DWORD) = Sleep;

namespace {

constexpr const wchar_t* ATOM_NAME = L"{7E40A9C5-62D1-4f3b-8C17-B95E03D2A64C}_QVD";
constexpr const wchar_t* LOGGING_KEY = L"Software\\Velmora\\Corvessa\\Logging";
// Writers re-read the switch this often; waiting as long after switching means
// every running process has seen the change before its next record.
constexpr DWORD SETTLE_MS = 3000;

void set_switch_value(HKEY root)
{
    QV_reg_key key;
    if (qv_reg_create_key(root, LOGGING_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS)
        return;  // e.g. no write access to HKEY_LOCAL_MACHINE: the other root still counts
    DWORD on = 1;
    qv_reg_set_value(key.get(), L"EnableUserModeTrace", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                   sizeof(on));
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
    qv_reg_delete_key(HKEY_CURRENT_USER, LOGGING_KEY);
    qv_reg_delete_key(HKEY_CURRENT_USER, L"Software\\Velmora\\Corvessa");
    qv_reg_delete_key(HKEY_CURRENT_USER, L"Software\\Velmora");
    qv_reg_delete_key(HKEY_LOCAL_MACHINE, LOGGING_KEY);
    qv_trace_switch_pause(SETTLE_MS);
}
