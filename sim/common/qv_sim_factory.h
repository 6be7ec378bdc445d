#pragma once
// The class factory and DllGetClassObject of a stand-in that serves one class:
// create makes the object for an interface, lock counts what keeps the DLL loaded.

#include "qv_sim_unknown.h"

#include <new>

template <HRESULT (*create)(REFIID, void**), void (*lock)(bool)>
class Sim_factory final : public Sim_unknown<IClassFactory, &IID_IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return create(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL locked) override
    {
        lock(locked != FALSE);
        return S_OK;
    }
};

// The answer of DllGetClassObject for a DLL that serves the class served.
template <HRESULT (*create)(REFIID, void**), void (*lock)(bool)>
HRESULT sim_class_object(REFCLSID clsid, REFCLSID served, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (clsid != served)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) Sim_factory<create, lock>;
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT result = factory->QueryInterface(iid, out);
    factory->Release();
    return result;
}
