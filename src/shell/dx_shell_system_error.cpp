#include "shell/dx_shell_system_error.h"

#include "base/qv_message_box.h"
#include "base/qv_system_message.h"
#include "shell/dx_shell_output.h"

void dx_shell_report_system_error(bool gui, DWORD code, const wchar_t* fallback_format, const QV_string& appendix)
{
    QV_local system_text = qv_system_message(code);
    auto* text = static_cast<const wchar_t*>(system_text.get());
    QV_string shown = text ? QV_string(text) : QV_stringf(fallback_format, code);
    if (gui) {
        qv_error_box(shown + appendix, QV_PRODUCT_CAPTION, nullptr, nullptr);
        return;
    }
    if (text)
        dx_shell_write_error_oem(text);
    else
        dx_shell_write_error(shown.c_str());
    if (!appendix.is_empty())
        dx_shell_write_error(appendix.c_str());
}
