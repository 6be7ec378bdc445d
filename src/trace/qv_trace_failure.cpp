// Failed system calls: a message record and an error record, in that order.
#include "trace/qv_trace.h"

namespace {

void failure_records(const wchar_t* function, DWORD code, const wchar_t* format, va_list args)
{
    qv_trace_vprintf(function, format, args);
    qv_trace_error(function, code);
}

} // namespace

void qv_trace_failed_last_error(const wchar_t* function, const wchar_t* format, ...)
{
    DWORD error = GetLastError();
    va_list args;
    va_start(args, format);
    failure_records(function, error, format, args);
    va_end(args);
}

void qv_trace_failed_status(const wchar_t* function, LONG status, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    failure_records(function, static_cast<DWORD>(status), format, args);
    va_end(args);
}

void qv_trace_failed_hresult(const wchar_t* function, HRESULT hr, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    failure_records(function, static_cast<DWORD>(hr), format, args);
    va_end(args);
}

void qv_trace_failed_call(const wchar_t* function, const wchar_t* call, const wchar_t* path)
{
    qv_trace_failed_last_error(function, L"%s failed for '%s'\n", call, path ? path : L"");
}
