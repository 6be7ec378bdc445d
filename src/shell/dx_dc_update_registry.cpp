#include "shell/dx_shell_commands.h"

#include "registry/qv_registry_updater.h"
#include "trace/qv_trace.h"

// Shows nothing, whatever happens: the policy text comes from the product's own
// services, which read the outcome from the registry.
void dx_dc_update_registry(const wchar_t* policy_text)
{
    qv_trace_enter(L"dx_dc_update_registry", 0);
    QV_registry_updater updater;
    if (!QV_registry_updater::cached_value_differs(policy_text))
        return;
    bool restart_needed = false;
    if (updater.update_values(policy_text, restart_needed, nullptr) && restart_needed)
        QV_registry_updater::create_reboot_key();
}
