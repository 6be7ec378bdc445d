// Error record: "name: [Special]Error: 0x%08x ==> <system text>".
#include "trace/qv_trace.h"

#include "base/qv_unique.h"
#include "trace/qv_trace_text.h"

#include <cwchar>

namespace {

// Codes with any of these bits set are looked up with the bits cleared, and the
// record marks them "Special".
constexpr DWORD FACILITY_EXTRA_BITS = 0x0FF00000;
constexpr DWORD LOOKUP_FLAGS = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                               | FORMAT_MESSAGE_FROM_SYSTEM;  // 0x1300

} // namespace

void qv_trace_error(const wchar_t* function, DWORD code)
{
    if (qv_trace_known_off())
        return;
    QV_last_error_keeper keep;
    DWORD id = (code & FACILITY_EXTRA_BITS) ? (code & ~FACILITY_EXTRA_BITS) : code;
    QV_local system_text;
    FormatMessageW(LOOKUP_FLAGS, nullptr, id, 0, reinterpret_cast<wchar_t*>(system_text.put()), 0, nullptr);
    auto* text = static_cast<const wchar_t*>(system_text.get());
    const wchar_t* marker = id != code ? L"Special" : L"";
    size_t size = std::wcslen(function) + (text ? std::wcslen(text) : 0) + 256;
    QV_trace_text line;
    bool ok = text ? line.format(size, L"%s: %sError: 0x%08x ==> %s", function, marker, code, text)
                   : line.format(size, L"%s: %sError: 0x%08x\n", function, marker, code);
    if (ok)
        qv_trace_write(line.c_str());
}
