// -ogp_log_on, -ogp_log_off and -sync_user_data. The result is the core's
// business: the trace holds it, the user sees nothing.
#include "shell/dx_shell_commands.h"

#include "core_client/dx_core_com.h"
#include "trace/qv_trace.h"

namespace {

// The dispatcher's line comes after the client's constructor record.
void announce(const wchar_t* line)
{
    qv_trace_printf(L"Dx_shell_dispatch", line);
}

} // namespace

void dx_shell_core_log_on()
{
    DX_core_com core(0);
    announce(L"Calling log_on\n");
    core.log_on(0);
}

void dx_shell_core_log_off()
{
    DX_core_com core(0);
    announce(L"Calling log_off\n");
    core.log_off(1);
}

void dx_shell_core_sync_user_data()
{
    DX_core_com core(0);
    announce(L"Calling sync\n");
    core.sync_user_data();
}
