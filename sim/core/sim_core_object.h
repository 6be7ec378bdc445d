#pragma once
// The stand-in's automation object: one class for both core objects, told apart
// by the dispatch interface it answers (user mode or service).

#include "core_client/dx_core_interfaces.h"

#include <windows.h>

// Objects and server locks alive in this module; DllCanUnloadNow asks.
extern LONG g_sim_core_module_count;

// A new object answering iid (DX_IID_CORE_DISP or DX_IID_CORE_SERVICE_DISP) with
// one reference held by the caller; null when it cannot be made.
IUnknown* sim_core_create_object(const IID& dispatch_iid);
