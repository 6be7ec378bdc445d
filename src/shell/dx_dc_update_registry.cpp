#include "shell/dx_shell_commands.h"

#include "registry/qv_policy_update_lock.h"
#include "registry/qv_registry_updater.h"
#include "trace/qv_trace.h"

// Shows nothing, whatever happens: the policy text comes from the product's own
// services, which read the outcome from the registry. The update makes the reboot
// request itself, before the first value that needs it is written.
void dx_dc_update_registry(const wchar_t* policy_text)
{
    static const wchar_t* const NAME = L"dx_dc_update_registry";
    qv_trace_enter(NAME, 0);
    QV_registry_updater updater;
    QV_policy_update_lock lock;
    if (!lock.held()) {
        qv_trace_failed_status(NAME, static_cast<LONG>(lock.error()), L"Could not take the policy update lock\n");
        return;
    }
    if (!QV_registry_updater::cached_value_differs(policy_text))
        return;
    bool restart_needed = false;
    updater.update_values(policy_text, restart_needed, nullptr);
}
