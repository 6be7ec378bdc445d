#include "base/qv_system_message.h"

namespace {

constexpr DWORD FACILITY_EXTRA_BITS = 0x0FF00000;
constexpr DWORD LOOKUP_FLAGS = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                               | FORMAT_MESSAGE_FROM_SYSTEM;  // 0x1300

} // namespace

DWORD qv_system_message_id(DWORD code)
{
    return (code & FACILITY_EXTRA_BITS) ? (code & ~FACILITY_EXTRA_BITS) : code;
}

QV_local qv_system_message(DWORD code)
{
    QV_local text;
    FormatMessageW(LOOKUP_FLAGS, nullptr, qv_system_message_id(code), 0, reinterpret_cast<wchar_t*>(text.put()), 0,
                   nullptr);
    return text;
}
