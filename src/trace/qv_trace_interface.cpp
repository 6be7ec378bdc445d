// Interface record: which interface a COM object was asked for, by its listed
// name or, failing that, its id in registry form.
#include "trace/qv_trace.h"

#include "base/qv_guid.h"
#include "trace/qv_interface_association_list.h"
#include "trace/qv_trace_text.h"

void qv_trace_query_interface(const wchar_t* function, int level, const IID* iid)
{
    if (qv_trace_known_off())
        return;
    QV_last_error_keeper keep;
    QV_trace_text prefix;
    DWORD ignored = 0;
    if (!qv_trace_is_qualified(function) && qv_trace_module_base_name(prefix, &ignored))
        prefix.append(L"!");
    const wchar_t* listed = iid ? qv_interface_associations.name_of(*iid) : nullptr;
    QV_guid id(iid ? *iid : GUID{});
    const wchar_t* name = listed ? listed : iid ? id.text() : L"(null)";
    // Listed names are used whole (no 40-character cut); the line grows past 256
    // characters when a name needs it.
    QV_trace_text line;
    if (line.format(256, L"P:%4d,T:%4d %s%s[%d](%s)\r\n", static_cast<int>(GetCurrentProcessId()),
                    static_cast<int>(GetCurrentThreadId()), prefix.c_str(), function, level, name))
        qv_trace_write(line.c_str());
}
