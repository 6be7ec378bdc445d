#pragma once
// The stand-in's automation object: one class for both core objects, told apart
// by the dispatch interface it answers (user mode or service).

#include "core_client/dx_core_interfaces.h"

#include <windows.h>

// The classic count for an object with these interfaces: 1 held by its creator,
// deleted at 0.
template <typename... Interfaces>
class Sim_counted : public Interfaces... {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG count = InterlockedDecrement(&count_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

protected:
    virtual ~Sim_counted() = default;

private:
    LONG count_ = 1;
};

// Objects and server locks alive in this module; DllCanUnloadNow asks.
extern LONG g_sim_core_module_count;

// A new object answering iid (DX_IID_CORE_DISP or DX_IID_CORE_SERVICE_DISP) with
// one reference held by the caller; null when it cannot be made.
IUnknown* sim_core_create_object(const IID& dispatch_iid);
