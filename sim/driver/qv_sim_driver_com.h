#pragma once
// The stand-in's COM plumbing: the object, and the count of what keeps the DLL loaded.

#include <windows.h>

// A new component for interface iid, or the failure the tests asked creation to give.
HRESULT sim_driver_create(REFIID iid, void** out);

// Counts live objects and server locks; DllCanUnloadNow answers S_OK at zero.
void sim_driver_lock(bool lock);
