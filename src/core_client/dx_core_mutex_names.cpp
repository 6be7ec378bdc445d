#include "core_client/dx_core_com.h"

#include "base/qv_identity.h"
#include "base/qv_unique.h"
#include "trace/qv_trace.h"

#include <sddl.h>

#include <sstream>

namespace {

constexpr const wchar_t* NAMES = L"DX_core_com::get_mutex_name_strings";

// 1 for an elevated process, 0 otherwise and when the token cannot tell.
DWORD process_elevation()
{
    QV_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.put()))
        return 0;
    DWORD elevation = 0, size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size))
        return 0;
    return elevation ? 1 : 0;
}

} // namespace

bool DX_core_com::get_mutex_name_strings(QV_string* with_elevation, QV_string* without_elevation)
{
    QV_local sid(static_cast<HLOCAL>(qv_get_process_user_sid()));
    if (!sid) {
        qv_trace_printf(NAMES, L"Unable to get sid\n");
        return false;
    }
    QV_local sid_text;
    if (!ConvertSidToStringSidW(static_cast<PSID>(sid.get()), reinterpret_cast<wchar_t**>(sid_text.put()))) {
        qv_trace_printf(NAMES, L"Unable to ConvertSidToStringSidW\n");
        return false;
    }
    std::wostringstream name;
    name << DX_CORE_PRESENCE_PREFIX << static_cast<const wchar_t*>(sid_text.get());
    if (without_elevation)
        *without_elevation = QV_string(name.str().c_str());
    name << process_elevation();
    if (with_elevation)
        *with_elevation = QV_string(name.str().c_str());
    return true;
}
