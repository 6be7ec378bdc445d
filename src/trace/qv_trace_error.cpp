// Error record: "name: [Special]Error: 0x%08x ==> <system text>".
#include "trace/qv_trace.h"

#include "base/qv_system_message.h"
#include "trace/qv_trace_text.h"

#include <cwchar>

void qv_trace_error(const wchar_t* function, DWORD code)
{
    if (qv_trace_known_off())
        return;
    QV_last_error_keeper keep;
    QV_local system_text = qv_system_message(code);
    auto* text = static_cast<const wchar_t*>(system_text.get());
    const wchar_t* marker = qv_system_message_id(code) != code ? L"Special" : L"";
    size_t size = std::wcslen(function) + (text ? std::wcslen(text) : 0) + 256;
    QV_trace_text line;
    bool ok = text ? line.format(size, L"%s: %sError: 0x%08x ==> %s", function, marker, code, text)
                   : line.format(size, L"%s: %sError: 0x%08x\n", function, marker, code);
    if (ok)
        qv_trace_write(line.c_str());
}
