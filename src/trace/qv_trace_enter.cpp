// Entry record: "P:%4d,T:%4d <module!>name[level]" with an optional message.
#include "trace/qv_trace.h"

#include "trace/qv_trace_text.h"

#include <cwchar>

namespace {

constexpr size_t FIRST_SIZE = 256;

// "module!" for a free function, nothing for "Class::method". An unreadable module
// name is reported with its own error record and leaves the prefix empty.
void entry_prefix(const wchar_t* function, QV_trace_text& prefix)
{
    if (qv_trace_is_qualified(function))
        return;
    DWORD error = 0;
    if (!qv_trace_module_base_name(prefix, &error)) {
        qv_trace_error(function, error);
        return;
    }
    prefix.append(L"!");
}

// The line is put together piece by piece instead of through the formatter: the
// text is what "P:%4d,T:%4d %s%s[%d](%s)\n" gives, at a fraction of the cost,
// which matters because every record is built even while tracing is off.
void write_line(const QV_trace_text& prefix, const wchar_t* function, int level, const QV_trace_text* message)
{
    QV_trace_text line;
    line.reserve(32 + prefix.length() + std::wcslen(function) + (message ? message->length() : 0));
    line.append_ids();
    line.append(prefix.c_str(), prefix.length());
    line.append(function);
    line.append(L"[", 1);
    line.append_int(level);
    line.append(L"]", 1);
    if (message) {
        line.append(L"(", 1);
        line.append(message->c_str(), message->length());
        line.append(L")", 1);
    }
    line.append(L"\n", 1);
    qv_trace_write(line.c_str());
}

} // namespace

void qv_trace_enter(const wchar_t* function, int level, const wchar_t* format, ...)
{
    if (qv_trace_known_off())
        return;
    QV_last_error_keeper keep;
    QV_trace_text prefix;
    entry_prefix(function, prefix);
    if (!format) {
        write_line(prefix, function, level, nullptr);
        return;
    }
    QV_trace_text message;
    va_list args;
    va_start(args, format);
    bool formatted = message.vformat(FIRST_SIZE, format, args);
    va_end(args);
    if (formatted)
        write_line(prefix, function, level, &message);
}
