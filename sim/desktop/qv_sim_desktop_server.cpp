// The in-process server: the class factory and the two exports COM asks for.

#include "qv_sim_desktop.h"
#include "qv_sim_factory.h"

#include "shell/dx_desktop_integration.h"

namespace {

// Nothing is counted: the DLL may go whenever COM asks, after the kept reference
// (if any) has been used and given back.
void no_lock(bool) {}

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    return sim_class_object<sim_desktop_create, no_lock>(clsid, CLSID_DxDesktopIntegration, iid, out);
}

// COM asks this when its apartment ends: the moment a kept reference is used
// and given back, after the program has released its own.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    sim_desktop_use_kept();
    return S_OK;
}
