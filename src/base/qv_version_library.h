#pragma once
// The version library's functions for reading the version block of a file on disk,
// taken from the system folder's version.dll (never from a file of that name beside
// the program) when first used and kept for the life of the process. The calls in
// namespace qv_ver have the library's own names and signatures; when the library or
// a function cannot be had they fail as the library's own calls fail (0 or FALSE,
// last error ERROR_PROC_NOT_FOUND).

#include <windows.h>

struct QV_version_entry_points {
    decltype(&::GetFileVersionInfoSizeW) get_size = nullptr;
    decltype(&::GetFileVersionInfoW) get_info = nullptr;
    decltype(&::VerQueryValueW) query_value = nullptr;
};

// The functions of the system folder's version library, bound on the first call;
// each is null when it cannot be had.
const QV_version_entry_points& qv_version_entry_points();

// Test seam: when not null, the functions every qv_ver call goes through.
extern const QV_version_entry_points* qv_version_entry_points_override;

namespace qv_ver {

DWORD GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueW(LPCVOID block, LPCWSTR sub_block, LPVOID* value, PUINT length);

}  // namespace qv_ver
