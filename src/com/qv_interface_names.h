#pragma once
// The process-wide list that names the interfaces the program's COM objects are
// asked for, so that interface trace records show a name instead of an id.
// Read only; an empty list is valid and makes every id come out as its text.

#include <windows.h>

struct QV_interface_name {
    IID iid;
    const wchar_t* name;
    const QV_interface_name* next;
};

// First entry, or null for an empty list.
extern const QV_interface_name* qv_interface_names_head;

// The name listed for iid, or null when the list does not hold it.
const wchar_t* qv_interface_name_of(const IID& iid);
