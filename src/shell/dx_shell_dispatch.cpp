#include "shell/dx_shell_dispatch.h"

#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_output.h"
#include "trace/qv_trace.h"

#include <objbase.h>

#include <cwchar>

namespace {

constexpr const wchar_t* DISPATCH = L"Dx_shell_dispatch";

// An option, the argument count it belongs to (program path included) and its command.
struct Option {
    const wchar_t* name;
    int argc;
    void (*run)(bool gui, wchar_t** argv);
};

const Option OPTIONS[] = {
    {L"-end_driver_trace", 2, [](bool gui, wchar_t**) { dx_dc_invoke_command(gui, L"end_trace_to_file", nullptr); }},
    {L"-enable_user_mode_trace", 2, [](bool gui, wchar_t**) { dx_shell_set_user_mode_trace(gui, true); }},
    {L"-eut", 2, [](bool gui, wchar_t**) { dx_shell_set_user_mode_trace(gui, true); }},
    {L"-disable_user_mode_trace", 2, [](bool gui, wchar_t**) { dx_shell_set_user_mode_trace(gui, false); }},
    {L"-dut", 2, [](bool gui, wchar_t**) { dx_shell_set_user_mode_trace(gui, false); }},
    {L"-perform_version_self_test", 2, [](bool gui, wchar_t**) { dx_shell_version_self_test(gui); }},
    {L"-force_uninstall", 2, [](bool gui, wchar_t**) { dx_shell_force_uninstall(gui, false); }},
    {L"-force_uninstall_no_elevate", 2, [](bool gui, wchar_t**) { dx_shell_force_uninstall(gui, true); }},
    {L"-ogp_log_on", 2, [](bool, wchar_t**) { dx_shell_core_log_on(); }},
    {L"-ogp_log_off", 2, [](bool, wchar_t**) { dx_shell_core_log_off(); }},
    {L"-sync_user_data", 2, [](bool, wchar_t**) { dx_shell_core_sync_user_data(); }},
    {L"-openattachment", 3, [](bool gui, wchar_t** argv) { dx_shell_open_attachment(gui, argv[2]); }},
    {L"-begin_driver_trace", 3, [](bool gui, wchar_t** argv) { dx_dc_invoke_command(gui, L"begin_trace_to_file", argv[2]); }},
    {L"-force_delete", 3, [](bool gui, wchar_t** argv) { dx_shell_force_delete(gui, argv[2], false); }},
    {L"-force_delete_no_elevate", 3, [](bool gui, wchar_t** argv) { dx_shell_force_delete(gui, argv[2], true); }},
    {L"-collect_user_mode_trace", 3, [](bool gui, wchar_t** argv) { dx_shell_collect_user_mode_trace(gui, argv[2]); }},
    {L"-is_attached", 3, [](bool gui, wchar_t** argv) { dx_dc_invoke_command(gui, L"is_attached", argv[2]); }},
    {L"-get_guid", 3, [](bool gui, wchar_t** argv) { dx_dc_invoke_command(gui, L"get_guid", argv[2]); }},
    {L"-change_tracing", 3, [](bool gui, wchar_t** argv) { dx_dc_invoke_command(gui, L"change_tracing", argv[2]); }},
    {L"-update_registry", 3, [](bool, wchar_t** argv) { dx_dc_update_registry(argv[2]); }},
    {L"-blind_copy", 4, [](bool gui, wchar_t** argv) {
         dx_shell_blind_copy(gui, QV_path(argv[2]), QV_path(argv[3]));
     }},
};

void trace_arguments(int argc, wchar_t** argv)
{
    qv_trace_printf(DISPATCH, L"argc = %d\n", argc);
    for (int i = 0; i < argc; ++i)
        qv_trace_printf(DISPATCH, L"argv[%d] = '%s'\n", i, argv[i]);
}

// The option in the group of this argument count, exactly as typed; null when none.
const Option* find_option(int argc, wchar_t** argv)
{
    if (argc < 2 || argc > 4 || !argv || !argv[1])
        return nullptr;
    for (const Option& option : OPTIONS) {
        if (option.argc == argc && std::wcscmp(option.name, argv[1]) == 0)
            return &option;
    }
    return nullptr;
}

} // namespace

int Dx_shell_dispatch(bool gui, int argc, wchar_t** argv)
{
    qv_trace_enter(DISPATCH, 0);
    CoInitialize(nullptr);
    trace_arguments(argc, argv);

    if (const Option* option = find_option(argc, argv))
        option->run(gui, argv);
    else
        dx_shell_show_usage(gui);

    CoUninitialize();
    return 0;
}
