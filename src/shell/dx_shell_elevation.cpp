#include "shell/dx_shell_elevation.h"

#include "base/qv_identity.h"
#include "base/qv_os_process.h"
#include "trace/qv_trace.h"

HRESULT (*dx_shell_admin_check)() = qv_is_local_admin;
HINSTANCE(WINAPI* dx_shell_execute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) = qv_shell_execute;

bool dx_shell_is_admin()
{
    return dx_shell_admin_check() == S_OK;
}

bool dx_shell_launch(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters)
{
    qv_trace_enter(L"dx_shell_launch", 0, L"%s %s %s\n", verb, file, parameters);
    HINSTANCE result = dx_shell_execute(nullptr, verb, file, parameters, nullptr, SW_HIDE);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
