#include "com/dx_enum_format.h"

#include "trace/qv_trace.h"

#include <algorithm>
#include <new>

DX_enum_format::DX_enum_format(ULONG count, const FORMATETC* records)
    : count_(records ? count : 0), records_(new (std::nothrow) FORMATETC[records ? count : 0])
{
    qv_trace_enter(L"DX_enum_format::DX_enum_format", 0);
    if (!records_)
        count_ = 0;
    else
        std::copy(records, records + count_, records_.get());
}

DX_enum_format::~DX_enum_format()
{
    qv_trace_enter(L"DX_enum_format::~DX_enum_format", 0);
}

HRESULT STDMETHODCALLTYPE DX_enum_format::QueryInterface(REFIID iid, void** out)
{
    return query_derived(L"DX_enum_format::QueryInterface", iid, out, IID_IEnumFORMATETC,
                         static_cast<IEnumFORMATETC*>(this));
}

HRESULT STDMETHODCALLTYPE DX_enum_format::Next(ULONG requested, FORMATETC* records, ULONG* fetched)
{
    qv_trace_enter(L"DX_enum_format::Next", 0);
    ULONG n = position_ < count_ ? std::min(count_ - position_, requested) : 0;
    if (n > 0 && !records)
        return E_POINTER;
    std::copy(records_.get() + position_, records_.get() + position_ + n, records);
    bool was_left = position_ < count_;
    position_ += n;
    if (fetched)
        *fetched = n;
    return was_left && n == requested ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE DX_enum_format::Skip(ULONG requested)
{
    qv_trace_enter(L"DX_enum_format::Skip", 0);
    // Compared with what is left, so a huge request cannot wrap the position.
    if (requested > count_ - position_) {
        position_ = count_;
        return S_FALSE;
    }
    position_ += requested;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DX_enum_format::Reset()
{
    qv_trace_enter(L"DX_enum_format::Reset", 0);
    position_ = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DX_enum_format::Clone(IEnumFORMATETC** out)
{
    qv_trace_enter(L"DX_enum_format::Clone", 0, L"E_NOTIMPL");
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}
