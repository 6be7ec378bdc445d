// The in-process server: the class factory and the two exports COM asks for.

#include "qv_sim_desktop.h"
#include "qv_sim_unknown.h"

#include "shell/dx_desktop_integration.h"

#include <new>

namespace {

class Sim_desktop_factory final : public Sim_unknown<IClassFactory, &IID_IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return sim_desktop_create(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_DxDesktopIntegration)
        return CLASS_E_CLASSNOTAVAILABLE;
    Sim_desktop_factory* factory = new (std::nothrow) Sim_desktop_factory;
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT result = factory->QueryInterface(iid, out);
    factory->Release();
    return result;
}

// COM asks this when its apartment ends: the moment a kept reference is used
// and given back, after the program has released its own.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    sim_desktop_use_kept();
    return S_OK;
}
