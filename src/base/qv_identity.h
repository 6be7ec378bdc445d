#pragma once
// Who the current process runs as: its user SID and whether its token holds the
// builtin Administrators group.

#include <windows.h>

// A copy of the process token's user SID, allocated with LocalAlloc (release it
// with LocalFree). On failure null, with the last error set: ERROR_OUTOFMEMORY
// when an allocation failed, otherwise the error of the failing call.
PSID qv_get_process_user_sid();

// S_OK when the token lists the builtin Administrators group (a deny-only entry,
// as in a filtered administrator token, counts too), S_FALSE when it does not,
// an error HRESULT when the token cannot be read (never S_OK on failure).
HRESULT qv_is_local_admin();

// Test seam: how both functions read token information. Tests substitute a
// function to produce tokens Wine cannot give (a standard user, failures).
extern BOOL(WINAPI* qv_token_information_source)(HANDLE token, TOKEN_INFORMATION_CLASS info_class,
                                                 void* buffer, DWORD size, DWORD* needed);
