#include "base/qv_os_process.h"

#include <shellapi.h>

HINSTANCE qv_shell_execute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show)
{
    if (DWORD error = qv_os_before(QV_os_call::shell_execute)) {
        SetLastError(error);
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(error <= 32 ? error : 0));
    }
    HINSTANCE result = ShellExecuteW(owner, verb, file, parameters, folder, show);
    DWORD error = GetLastError();
    qv_os_after(QV_os_call::shell_execute);
    SetLastError(error);
    return result;
}

HRESULT qv_create_instance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object)
{
    if (DWORD error = qv_os_before(QV_os_call::create_instance)) {
        *object = nullptr;
        return HRESULT_FROM_WIN32(error);
    }
    HRESULT result = CoCreateInstance(clsid, outer, context, iid, object);
    qv_os_after(QV_os_call::create_instance);
    return result;
}
