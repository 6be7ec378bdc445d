// Reference-count records of COM objects: "Class::AddRef[address](count)".
#include "trace/qv_trace.h"

#include "trace/qv_trace_text.h"

#include <cwchar>

namespace {

void write_reference_record(const wchar_t* pattern, const wchar_t* method, const void* object, long count)
{
    if (qv_trace_known_off())
        return;
    QV_last_error_keeper keep;
    int class_length = static_cast<int>(std::wcscspn(method, L":"));
    QV_trace_text line;
    // 256 characters hold every record of the program's own classes; a longer
    // class name grows the line rather than being cut.
    if (line.format(256, pattern, static_cast<int>(GetCurrentProcessId()), static_cast<int>(GetCurrentThreadId()),
                    class_length, method, object, static_cast<int>(count), count == 0 ? L"Dead!" : L""))
        qv_trace_write(line.c_str());
}

} // namespace

void qv_trace_add_ref(const wchar_t* method, const void* object, long count)
{
    write_reference_record(L"P:%4d,T:%4d %.*s::AddRef[%p](%d) %s \r\n", method, object, count);
}

void qv_trace_release(const wchar_t* method, const void* object, long count)
{
    write_reference_record(L"P:%4d,T:%4d %.*s::Release[%p](%d) %s \r\n", method, object, count);
}
