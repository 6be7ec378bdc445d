// The in-process server: the class factory and the two exports COM asks for.

#include "qv_sim_driver_com.h"
#include "qv_sim_unknown.h"

#include "shell/dx_driver_com.h"

#include <new>

namespace {

LONG g_locks = 0;

class Sim_driver_factory final : public Sim_unknown<IClassFactory, &IID_IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return sim_driver_create(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        sim_driver_lock(lock != FALSE);
        return S_OK;
    }
};

} // namespace

void sim_driver_lock(bool lock)
{
    if (lock)
        InterlockedIncrement(&g_locks);
    else
        InterlockedDecrement(&g_locks);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_DxDriverCom)
        return CLASS_E_CLASSNOTAVAILABLE;
    Sim_driver_factory* factory = new (std::nothrow) Sim_driver_factory;
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT result = factory->QueryInterface(iid, out);
    factory->Release();
    return result;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_locks == 0 ? S_OK : S_FALSE;
}
