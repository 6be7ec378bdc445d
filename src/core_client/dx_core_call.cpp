// Calls into the core, with COM errors turned into traced HRESULTs.
#include "core_client/dx_core_com.h"

#include "base/qv_unique.h"
#include "trace/qv_trace.h"

namespace {

// A failed COM call with the error information its object left, if any.
struct Com_error {
    HRESULT hr;
    QV_com_ptr<IErrorInfo> info;
};

// The error information of an object that says it supports it for iid.
template <typename T>
QV_com_ptr<IErrorInfo> error_info_of(T* object, const IID& iid)
{
    QV_com_ptr<IErrorInfo> info;
    QV_com_ptr<ISupportErrorInfo> support;
    if (SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo, support.put_void()))
        && support->InterfaceSupportsErrorInfo(iid) == S_OK)
        GetErrorInfo(0, info.put());
    return info;
}

template <typename T>
HRESULT invoke(T* object, const IID& iid, const wchar_t* request, BSTR* response, LONG* result)
{
    QV_bstr text(SysAllocString(request));
    if (request && !text)
        throw Com_error{E_OUTOFMEMORY, {}};
    if (!object)
        throw Com_error{E_POINTER, {}};
    HRESULT hr = object->run_function(text.get(), response, result);
    if (FAILED(hr))
        throw Com_error{hr, error_info_of(object, iid)};
    return hr;
}

template <typename T>
HRESULT call(T* object, const IID& iid, const wchar_t* scope, const wchar_t* pointer_name, const wchar_t* request,
             BSTR* response, LONG* result)
{
    try {
        return invoke(object, iid, request, response, result);
    } catch (const Com_error& error) {
        qv_trace_printf(scope, L"%s: Caught _com_error exception, hr=%08X, ErrorMessage='%s'\n", pointer_name,
                        error.hr, qv_com_error_message(error.hr).c_str());
        return error.hr;
    } catch (...) {
        qv_trace_printf(scope, L"%s: Caught unknown exception\n", pointer_name);
        return E_UNEXPECTED;
    }
}

} // namespace

QV_string qv_com_error_message(HRESULT hr)
{
    QV_local system_text;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                      | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<wchar_t*>(system_text.put()), 0, nullptr);
    auto* text = static_cast<wchar_t*>(system_text.get());
    if (length && text) {
        if (length > 1 && text[length - 2] == L'\r' && text[length - 1] == L'\n')
            text[length - 2] = L'\0';
        return QV_string(text);
    }
    auto code = static_cast<DWORD>(hr);
    if (code >= 0x80040201 && code <= 0x8004FFFF)
        return QV_stringf(L"IDispatch error #%d", static_cast<int>((code & 0xFFFF) - 0x200));
    return QV_stringf(L"Unknown error 0x%0lX", static_cast<unsigned long>(code));
}

HRESULT DX_core_com::call_core(DX_core_disp_iPtr core, const wchar_t* request, BSTR* response, LONG* result)
{
    return call(core.get(), DX_IID_CORE_DISP, L"call_core", L"DX_core_disp_iPtr", request, response, result);
}

HRESULT DX_core_com::call_core_srv(DX_core_service_disp_iPtr service, const wchar_t* request, BSTR* response,
                                   LONG* result)
{
    return call(service.get(), DX_IID_CORE_SERVICE_DISP, L"call_core_srv", L"DX_core_service_disp_iPtr", request,
                response, result);
}
