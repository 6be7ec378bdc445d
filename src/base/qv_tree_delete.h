#pragma once
// Removing a folder tree ourselves, for trees the shell's delete cannot walk:
// paths of any length the system takes, names ending in a dot or a space, links.

#include "base/qv_string.h"

#include <windows.h>

// Removes one entry, by its "\\?\" path, as its folder listed it (attributes): a
// link (a reparse point) as a link, never what it points to, and with its
// attributes left alone; a folder only when it is empty. A read-only file or
// folder has that attribute cleared just before, and given back when the entry
// stays. Answers ERROR_SUCCESS when the entry is gone, else the Win32 error of
// the removal (never 0).
DWORD qv_remove_entry(const wchar_t* long_path, DWORD attributes) noexcept;

// Removes the tree at root (an absolute path, plain or "\\?\", not a volume
// root) bottom up over "\\?\" paths, through qv_walk_tree: no recursion on the
// call stack, no link followed, nothing outside root touched. Every entry that
// can be removed is removed, each through qv_remove_entry.
//
// Answers ERROR_SUCCESS when the whole tree, root included, is gone. Otherwise
// answers the Win32 error of the first entry that stayed, in the walk's order (a
// part the walk could not list counts as staying: the removal stops there), and
// stayed_path, when given, names that entry in plain form; it is left untouched
// on success.
DWORD qv_delete_tree(const QV_string& root, QV_string* stayed_path = nullptr) noexcept;
