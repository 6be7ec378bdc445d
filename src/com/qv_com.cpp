#include "com/qv_com.h"

#include "trace/qv_trace.h"

QV_com::QV_com()
{
    qv_trace_enter(L"QV_com::QV_com", 0);
}

QV_com::~QV_com()
{
    qv_trace_enter(L"QV_com::~QV_com", 0);
}

HRESULT STDMETHODCALLTYPE QV_com::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    qv_trace_query_interface(L"QV_com::QueryInterface", 0, &iid);
    if (iid != IID_IUnknown && iid != IID_IClassFactory)
        return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();  // through the slot: a derived object counts on its own override
    return S_OK;
}

ULONG STDMETHODCALLTYPE QV_com::AddRef()
{
    LONG count = InterlockedIncrement(&count_);
    qv_trace_add_ref(L"QV_com::AddRef", this, count);
    return static_cast<ULONG>(count);
}

ULONG STDMETHODCALLTYPE QV_com::Release()
{
    LONG count = InterlockedDecrement(&count_);
    qv_trace_release(L"QV_com::Release", this, count);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE QV_com::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    qv_trace_query_interface(L"QV_com::CreateInstance", 0, &iid);
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE QV_com::LockServer(BOOL)
{
    qv_trace_enter(L"QV_com::LockServer", 0);
    return E_NOTIMPL;
}

HRESULT QV_com::query_derived(const wchar_t* trace_name, REFIID iid, void** out, REFIID own_iid, IUnknown* own)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    qv_trace_query_interface(trace_name, 0, &iid);
    if (SUCCEEDED(QV_com::QueryInterface(iid, out)))
        return S_OK;
    if (iid != own_iid)
        return E_NOINTERFACE;
    *out = own;
    AddRef();
    return S_OK;
}
