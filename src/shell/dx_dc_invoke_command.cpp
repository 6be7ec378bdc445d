// The driver commands: one component instance per command, one method, and the
// notice of the build. The results of the trace and exemption methods are not
// looked at; the notice shows whatever they return. A flag level the driver
// refuses is the exception: "updated" is not shown over it.

#include "shell/dx_dc_commands.h"
#include "shell/dx_shell_commands.h"
#include "shell/dx_shell_output.h"
#include "base/qv_string.h"
#include "trace/qv_trace.h"

#include <cwchar>

namespace {

constexpr const wchar_t* INVOKE = L"dx_dc_invoke_command";

#define DX_RULE L"------------------------------------------------------------------------------\n"

const wchar_t BEGIN_GUI[] =
    L"The application is now logging driver events to the file\n%s\n\nTo stop logging, type VlmKdShell.exe -end_driver_trace";
const wchar_t BEGIN_CONSOLE[] =
    L"\n" DX_RULE L" LOGGING: The application is now logging driver events to the file\n"
    L"          %s.\n\n          To stop logging, type VlmKdShell.com -end_driver_trace\n" DX_RULE;
const wchar_t END_GUI[] = L"The application has now stopped logging driver events.";
const wchar_t END_CONSOLE[] = L"\n" DX_RULE L" LOGGING: The application has now stopped logging driver events\n" DX_RULE;
const wchar_t UPDATED_GUI[] = L"The driver trace has been updated: %s";
const wchar_t UPDATED_CONSOLE[] = L"\n" DX_RULE L" LOGGING: The driver trace has been updated: %s\n" DX_RULE;
const wchar_t CONSOLE_ONLY[] = L"This is a private test command and so only works from the console";

#undef DX_RULE

// The notice of the build, the argument formatted into its text.
void notify(bool gui, const wchar_t* gui_format, const wchar_t* console_format, const wchar_t* argument)
{
    QV_stringf text(gui ? gui_format : console_format, argument);
    if (gui)
        dx_shell_notice_box(text.c_str());
    else
        dx_shell_write_console(text.c_str());
}

void begin_trace(bool gui, IDxDriverCom* driver, const wchar_t* argument)
{
    dx_driver_begin_trace_to_file(driver, argument);
    notify(gui, BEGIN_GUI, BEGIN_CONSOLE, argument);
}

void end_trace(bool gui, IDxDriverCom* driver, const wchar_t*)
{
    dx_driver_end_trace_to_file(driver);
    notify(gui, END_GUI, END_CONSOLE, nullptr);
}

void exempt(bool, IDxDriverCom* driver, const wchar_t*)
{
    dx_driver_exempt_current_process(driver);
}

void unexempt(bool, IDxDriverCom* driver, const wchar_t*)
{
    dx_driver_unexempt_current_process(driver);
}

void change_tracing(bool gui, IDxDriverCom* driver, const wchar_t* argument)
{
    // A flag the driver refused is traced; the notice would say otherwise.
    bool refused = false;
    dx_dc_change_tracing(argument, driver, gui, &refused);
    if (!refused)
        notify(gui, UPDATED_GUI, UPDATED_CONSOLE, argument);
}

void is_attached(bool gui, IDxDriverCom* driver, const wchar_t* argument)
{
    if (gui)
        dx_shell_notice_box(CONSOLE_ONLY);
    else
        dx_dc_is_attached(driver, argument);
}

void get_guid(bool gui, IDxDriverCom* driver, const wchar_t* argument)
{
    if (gui)
        dx_shell_notice_box(CONSOLE_ONLY);
    else
        dx_dc_get_guid(driver, argument);
}

struct Driver_command {
    const wchar_t* name;
    void (*run)(bool gui, IDxDriverCom* driver, const wchar_t* argument);
};

const Driver_command COMMANDS[] = {
    {L"begin_trace_to_file", begin_trace},
    {L"end_trace_to_file", end_trace},
    {L"exempt_current_process", exempt},
    {L"unexempt_current_process", unexempt},
    {L"change_tracing", change_tracing},
    {L"is_attached", is_attached},
    {L"get_guid", get_guid},
};

} // namespace

void dx_dc_invoke_command(bool gui, const wchar_t* command, const wchar_t* argument)
{
    qv_trace_enter(INVOKE, 0);
    QV_driver_com driver;
    HRESULT created = dx_dc_create_driver(driver);
    if (FAILED(created)) {
        qv_trace_printf(INVOKE, L"Failed to create driver instance: %08X\n", created);
        return;
    }
    // The commands that take an argument are always given one by the dispatcher;
    // an absent one reads as the empty text rather than a null the driver would follow.
    const wchar_t* operand = argument ? argument : L"";
    for (const Driver_command& entry : COMMANDS) {
        if (command && std::wcscmp(entry.name, command) == 0) {
            entry.run(gui, driver.get(), operand);
            return;
        }
    }
}
