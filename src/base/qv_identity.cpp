#include "base/qv_identity.h"

#include "base/qv_unique.h"

BOOL(WINAPI* qv_token_information_source)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*) =
    GetTokenInformation;

namespace {

// The token information of one class in a LocalAlloc block; null with the last
// error set when the size query, the allocation or the fetch failed.
QV_local read_token_information(HANDLE token, TOKEN_INFORMATION_CLASS info_class)
{
    DWORD needed = 0;
    if (qv_token_information_source(token, info_class, nullptr, 0, &needed)
        || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return QV_local();
    QV_local buffer(LocalAlloc(LMEM_FIXED, needed));
    if (!buffer) {
        SetLastError(ERROR_OUTOFMEMORY);
        return QV_local();
    }
    if (!qv_token_information_source(token, info_class, buffer.get(), needed, &needed))
        return QV_local();
    return buffer;
}

PSID copy_sid(PSID sid)
{
    DWORD length = GetLengthSid(sid);
    QV_local copy(LocalAlloc(LMEM_FIXED, length));
    if (!copy) {
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    if (!CopySid(length, copy.get(), sid))
        return nullptr;
    return copy.release();
}

PSID user_sid_of_token(HANDLE token)
{
    QV_local info = read_token_information(token, TokenUser);
    if (!info)
        return nullptr;
    return copy_sid(static_cast<TOKEN_USER*>(info.get())->User.Sid);
}

// The last error as an HRESULT; a failure that left no error is still a failure.
HRESULT last_error_result()
{
    DWORD error = GetLastError();
    if (error == ERROR_SUCCESS)
        return E_FAIL;
    if (static_cast<LONG>(error) < 0)
        return static_cast<HRESULT>(error);
    return static_cast<HRESULT>((error & 0xFFFF) | 0x80070000);
}

bool groups_hold(const TOKEN_GROUPS* groups, PSID sid)
{
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(groups->Groups[i].Sid, sid))
            return true;
    }
    return false;
}

} // namespace

PSID qv_get_process_user_sid()
{
    QV_handle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
    if (!process)
        return nullptr;
    QV_handle token;
    if (!OpenProcessToken(process.get(), TOKEN_READ | TOKEN_QUERY, token.put()))
        return nullptr;
    PSID copy = user_sid_of_token(token.get());
    DWORD error = GetLastError();
    token.reset();
    process.reset();
    SetLastError(error);  // closing must not hide why the copy failed
    return copy;
}

HRESULT qv_is_local_admin()
{
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    QV_allocated_sid admins;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, admins.put()))
        return last_error_result();
    if (!IsValidSid(admins.get()))
        return last_error_result();
    QV_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return last_error_result();
    QV_local groups = read_token_information(token.get(), TokenGroups);
    if (!groups)
        return last_error_result();
    return groups_hold(static_cast<TOKEN_GROUPS*>(groups.get()), admins.get()) ? S_OK : S_FALSE;
}
