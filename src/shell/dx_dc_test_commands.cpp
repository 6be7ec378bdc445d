// -is_attached and -get_guid: private test commands that print what the driver
// answers, for support engineers at a console.

#include "shell/dx_dc_commands.h"
#include "shell/dx_shell_output.h"
#include "base/qv_string.h"
#include "trace/qv_trace.h"

#include <cwchar>
#include <vector>

namespace {

constexpr const wchar_t* INVOKE = L"dx_dc_invoke_command";

// The component's string, given back to it on every path.
class Driver_string {
public:
    explicit Driver_string(IDxDriverCom* driver) : driver_(driver) {}
    ~Driver_string()
    {
        if (text_)
            driver_->release_string(text_);
    }
    Driver_string(const Driver_string&) = delete;
    Driver_string& operator=(const Driver_string&) = delete;

    wchar_t** put() { return &text_; }
    const wchar_t* get() const { return text_; }
    // A failed call gave nothing that is ours to give back.
    void abandon() { text_ = nullptr; }

private:
    IDxDriverCom* driver_;
    wchar_t* text_ = nullptr;
};

void print_failure(HRESULT result)
{
    dx_shell_write_console(QV_stringf(L"failed HRESULT call_status=%08x\n", result).c_str());
}

} // namespace

void dx_dc_is_attached(IDxDriverCom* driver, const wchar_t* argument)
{
    // The driver reads the argument as a list: it must end in two terminators.
    size_t length = std::wcslen(argument);
    std::vector<wchar_t> list(length + 2, L'\0');
    std::wmemcpy(list.data(), argument, length);
    ULONG status = 0xDEADBEEF;
    qv_trace_printf(INVOKE, L"calling driver->is_attached(\"%s\")\n", argument);
    HRESULT result = driver->is_attached(list.data(), &status);
    qv_trace_printf(INVOKE, L"back again: call_status %08x\n", result);
    if (FAILED(result))
        print_failure(result);
    else
        dx_shell_write_console(QV_stringf(L"result status=%08x.\n", status).c_str());
}

void dx_dc_get_guid(IDxDriverCom* driver, const wchar_t* argument)
{
    Driver_string guid(driver);
    qv_trace_printf(INVOKE, L"calling driver->query_device_guid(\"%s\")\n", argument);
    HRESULT result = driver->query_device_guid(argument, guid.put());
    qv_trace_printf(INVOKE, L"back again: call_status %08x\n", result);
    // A success without a string has nothing to show or give back.
    if (FAILED(result) || !guid.get()) {
        guid.abandon();
        print_failure(result);
    } else {
        dx_shell_write_console(QV_stringf(L"result guid='%s'", guid.get()).c_str());
    }
}
