#include "base/qv_version_library.h"

#include "base/qv_system_library.h"

namespace {

QV_version_entry_points bind_version_library()
{
    QV_version_entry_points bound;
    HMODULE library = qv_load_system_library(L"version.dll");  // kept for the life of the process
    bound.get_size = qv_library_function<decltype(::GetFileVersionInfoSizeW)>(library, "GetFileVersionInfoSizeW");
    bound.get_info = qv_library_function<decltype(::GetFileVersionInfoW)>(library, "GetFileVersionInfoW");
    bound.query_value = qv_library_function<decltype(::VerQueryValueW)>(library, "VerQueryValueW");
    return bound;
}

const QV_version_entry_points& active()
{
    return qv_version_entry_points_override != nullptr ? *qv_version_entry_points_override
                                                       : qv_version_entry_points();
}

}  // namespace

const QV_version_entry_points* qv_version_entry_points_override = nullptr;

const QV_version_entry_points& qv_version_entry_points()
{
    static const QV_version_entry_points bound = bind_version_library();
    return bound;
}

namespace qv_ver {

DWORD GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle)
{
    auto get_size = active().get_size;
    if (get_size == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return 0;
    }
    return get_size(file, handle);
}

BOOL GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data)
{
    auto get_info = active().get_info;
    if (get_info == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return get_info(file, handle, size, data);
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR sub_block, LPVOID* value, PUINT length)
{
    auto query_value = active().query_value;
    if (query_value == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return query_value(block, sub_block, value, length);
}

}  // namespace qv_ver
