#include "core_client/dx_core_com.h"

#include "core_client/dx_core_request.h"
#include "trace/qv_trace.h"

#include <objbase.h>

#include <new>

DX_core_com::DX_core_com(int service_mode) : mode_(service_mode)
{
    constexpr const wchar_t* NAME = L"DX_core_com::DX_core_com";
    qv_trace_enter(NAME, 0, L"%s", service_mode ? L"service" : L"user-mode");
    HRESULT hr = CoInitialize(nullptr);
    com_initialized_ = SUCCEEDED(hr);
    if (FAILED(hr))
        qv_trace_failed_hresult(NAME, hr, L"Error in CoInitialize:\n");
}

DX_core_com::~DX_core_com()
{
    qv_trace_enter(L"DX_core_com::~DX_core_com", 0);
    // Only our own initialisation is undone: after a failed one (a thread of
    // another apartment) the caller's count is not ours to lower.
    if (com_initialized_)
        CoUninitialize();
}

LONG DX_core_com::log_on(DWORD wallet_type)
{
    qv_trace_enter(L"DX_core_com::log_on", 0);
    return run(L"log_on", &wallet_type);
}

LONG DX_core_com::log_off(DWORD wallet_type)
{
    qv_trace_enter(L"DX_core_com::log_off", 0);
    return run(L"log_off", &wallet_type);
}

LONG DX_core_com::sync_user_data()
{
    qv_trace_enter(L"DX_core_com::sync_user_data", 0);
    return run(L"sync_user_data", nullptr);
}

// One exchange from creation to release. The serialisation mutex (user mode) is
// held for the whole exchange and given back first, then the interfaces.
LONG DX_core_com::run(const wchar_t* function, const DWORD* wallet_type)
{
    DX_core_disp_iPtr core;
    DX_core_service_disp_iPtr service;
    QV_held_mutex mutex;
    HRESULT hr = create(core, service, mutex);
    LONG result = hr;
    try {
        if (SUCCEEDED(hr))
            result = exchange(function, wallet_type, core, service);
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;  // the request could not be built; nothing leaves the client
    }
    mutex.reset();
    service.reset();
    core.reset();
    return result;
}

LONG DX_core_com::exchange(const wchar_t* function, const DWORD* wallet_type, const DX_core_disp_iPtr& core,
                           const DX_core_service_disp_iPtr& service)
{
    core_request request;
    request.set_function(function);
    if (wallet_type)
        request.add_parameter(L"wallet_type", *wallet_type);
    QV_bstr response;  // freed unread
    LONG result = 0;
    HRESULT hr = mode_ ? call_core_srv(service, request.scrambled_text(), response.put(), &result)
                       : call_core(core, request.scrambled_text(), response.put(), &result);
    return FAILED(hr) ? hr : result;
}
