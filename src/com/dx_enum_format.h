#pragma once
// The IEnumFORMATETC that DX_data_object hands out from EnumFormatEtc: a fixed
// run of records, copied at construction, walked by a position.

#include "com/qv_com.h"

#include <objidl.h>

#include <memory>

class DX_enum_format : public IEnumFORMATETC, public QV_com {
public:
    DX_enum_format(ULONG count, const FORMATETC* records);
    ~DX_enum_format() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return QV_com::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return QV_com::Release(); }

    // S_OK when all requested records came, S_FALSE otherwise; fetched (when
    // given) receives how many did.
    HRESULT STDMETHODCALLTYPE Next(ULONG requested, FORMATETC* records, ULONG* fetched) override;
    // S_FALSE, at the end, when fewer records were left than requested.
    HRESULT STDMETHODCALLTYPE Skip(ULONG requested) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) override;

    // False when the records could not be allocated (the run is then empty).
    bool holds(ULONG count) const { return count_ == count; }

private:
    ULONG position_ = 0;
    ULONG count_;
    std::unique_ptr<FORMATETC[]> records_;
};
