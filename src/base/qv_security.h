#pragma once
// Security attributes that let every user open, wait on and release a named
// object, and the "Global\" / "Local\" object names.

#include "base/qv_string.h"

#include <windows.h>

// A record with a null DACL (every user has every access) and inheritable
// handles; null when memory or the descriptor could not be set up. Released with
// qv_free_security_attributes.
SECURITY_ATTRIBUTES* qv_create_open_security_attributes();
// Releases the record and its descriptor; null is ignored.
void qv_free_security_attributes(SECURITY_ATTRIBUTES* attributes);

// "Global\name" with the flag, "Local\name" without; a null name gives no text.
QV_string qv_make_object_name(const wchar_t* name, bool global);

struct QV_security_attributes_traits {
    using type = SECURITY_ATTRIBUTES*;
    static type invalid() { return nullptr; }
    static void close(type h) { qv_free_security_attributes(h); }
};
