// The in-process server: the class factory and the two exports COM asks for.

#include "qv_sim_driver_com.h"
#include "qv_sim_factory.h"

#include "shell/dx_driver_com.h"

namespace {

LONG g_locks = 0;

} // namespace

void sim_driver_lock(bool lock)
{
    if (lock)
        InterlockedIncrement(&g_locks);
    else
        InterlockedDecrement(&g_locks);
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    return sim_class_object<sim_driver_create, sim_driver_lock>(clsid, CLSID_DxDriverCom, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_locks == 0 ? S_OK : S_FALSE;
}
