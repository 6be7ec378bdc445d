// Entry record: "P:%4d,T:%4d <module!>name[level]" with an optional message.
#include "trace/qv_trace.h"

#include "trace/qv_trace_text.h"

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

void write_with_message(const wchar_t* function, int level, const QV_trace_text& prefix, const wchar_t* format,
                        va_list args)
{
    QV_trace_text name, message, line;
    if (!name.format(FIRST_SIZE, L"%s%s", prefix.c_str(), function) || !message.vformat(FIRST_SIZE, format, args))
        return;
    if (!line.format(message.capacity(), L"P:%4d,T:%4d %s[%d](%s)\n", static_cast<int>(GetCurrentProcessId()),
                     static_cast<int>(GetCurrentThreadId()), name.c_str(), level, message.c_str()))
        return;
    qv_trace_write(line.c_str());
}

} // namespace

void qv_trace_enter(const wchar_t* function, int level, const wchar_t* format, ...)
{
    QV_last_error_keeper keep;
    QV_trace_text prefix;
    entry_prefix(function, prefix);
    if (format) {
        va_list args;
        va_start(args, format);
        write_with_message(function, level, prefix, format, args);
        va_end(args);
        return;
    }
    QV_trace_text line;
    if (line.format(FIRST_SIZE, L"P:%4d,T:%4d %s%s[%d]\n", static_cast<int>(GetCurrentProcessId()),
                    static_cast<int>(GetCurrentThreadId()), prefix.c_str(), function, level))
        qv_trace_write(line.c_str());
}
