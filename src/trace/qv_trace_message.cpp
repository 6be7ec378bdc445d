// Message record: the caller's format spliced into "P:%4d,T:%4d <module>!name: "
// and then expanded with the caller's arguments.
#include "trace/qv_trace.h"

#include "trace/qv_trace_text.h"

#include <cwchar>

namespace {

// The line pattern with the caller's format in it. The names become part of a
// format, so their "%" are doubled: a program file named "a%sb.exe" must print
// as itself, not read an argument that is not there.
bool splice(QV_trace_text& pattern, const wchar_t* function, const wchar_t* format)
{
    size_t size = std::wcslen(format) + std::wcslen(function) + 260;
    QV_trace_text name;
    qv_trace_append_escaped(name, function);
    int pid = static_cast<int>(GetCurrentProcessId());
    int tid = static_cast<int>(GetCurrentThreadId());
    if (qv_trace_is_qualified(function))
        return pattern.format(size, L"P:%4d,T:%4d %s: %s", pid, tid, name.c_str(), format);
    QV_trace_text module, escaped_module;
    DWORD ignored = 0;
    qv_trace_module_base_name(module, &ignored);  // unreadable: empty module part
    qv_trace_append_escaped(escaped_module, module.c_str());
    return pattern.format(size, L"P:%4d,T:%4d %s!%s: %s", pid, tid, escaped_module.c_str(), name.c_str(), format);
}

} // namespace

void qv_trace_vprintf(const wchar_t* function, const wchar_t* format, va_list args)
{
    if (qv_trace_known_off())
        return;
    QV_last_error_keeper keep;
    QV_trace_text pattern, line;
    if (!splice(pattern, function, format) || !line.vformat(pattern.capacity(), pattern.c_str(), args))
        return;
    qv_trace_write(line.c_str());
}

void qv_trace_printf(const wchar_t* function, const wchar_t* format, ...)
{
    if (qv_trace_known_off())
        return;
    QV_last_error_keeper keep;
    va_list args;
    va_start(args, format);
    qv_trace_vprintf(function, format, args);
    va_end(args);
}
