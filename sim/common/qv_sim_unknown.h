#pragma once
// IUnknown for the stand-in's objects: one interface besides IUnknown, a count
// that starts at 1 for the creator, deletion at 0.

#include <objbase.h>

template <typename Interface, const IID* interface_id>
class Sim_unknown : public Interface {
public:
    virtual ~Sim_unknown() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != *interface_id)
            return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&count_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&count_);
        if (left == 0)
            delete this;
        return left;
    }

private:
    LONG count_ = 1;
};
