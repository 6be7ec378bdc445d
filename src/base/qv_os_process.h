#pragma once
// The layer's calls that start a process or create and call a component: the
// same probe as qv_os.h, so that a test can fail a start, a creation or a
// method call of a component and see what the command says of it. Each function
// takes exactly the arguments of the call it stands for.

#include "base/qv_os.h"

#include <windows.h>
#include <objbase.h>

// ShellExecuteW. An injected failure gives the error as the result when it fits
// the shell's range (at most 32: ERROR_ACCESS_DENIED is SE_ERR_ACCESSDENIED),
// else 0, the shell's "out of resources"; the last error is the injected one.
HINSTANCE qv_shell_execute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show);

// CoCreateInstance. An injected failure gives HRESULT_FROM_WIN32 of the error and
// a null *object.
HRESULT qv_create_instance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

// One method call of a component, run() being the call itself: an injected
// failure gives HRESULT_FROM_WIN32 of the error without running it. The driver's
// and the desktop integration's changing methods go through here.
template <typename Call>
HRESULT qv_component_call(Call&& run)
{
    if (DWORD error = qv_os_before(QV_os_call::component_call))
        return HRESULT_FROM_WIN32(error);
    HRESULT result = run();
    qv_os_after(QV_os_call::component_call);
    return result;
}
