// The class factory and the module's exports: both core classes come from here.
#include "sim_core_object.h"

#include "base/qv_unique.h"

#include <new>

namespace {

class Sim_core_factory final : public Sim_counted<IClassFactory> {
public:
    explicit Sim_core_factory(const IID& dispatch_iid) : iid_(dispatch_iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        QV_com_ptr<IUnknown> object(sim_core_create_object(iid_));
        return object ? object->QueryInterface(riid, out) : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&g_sim_core_module_count);
        else
            InterlockedDecrement(&g_sim_core_module_count);
        return S_OK;
    }

private:
    IID iid_;
};

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const IID* dispatch = clsid == DX_CLSID_CORE ? &DX_IID_CORE_DISP
                          : clsid == DX_CLSID_CORE_SERVICE ? &DX_IID_CORE_SERVICE_DISP
                                                           : nullptr;
    if (!dispatch)
        return CLASS_E_CLASSNOTAVAILABLE;
    QV_com_ptr<IClassFactory> factory(new (std::nothrow) Sim_core_factory(*dispatch));
    return factory ? factory->QueryInterface(riid, out) : E_OUTOFMEMORY;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_sim_core_module_count == 0 ? S_OK : S_FALSE;
}
