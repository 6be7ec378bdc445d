#pragma once
// Walking a folder tree without following links. Every caller that acts on a
// whole tree (looks it over before handing it on, or removes it) walks it here,
// so that "never follows a link" and "stops when any part cannot be listed" are
// kept in one place.

#include "base/qv_path.h"
#include "base/qv_string.h"

#include <windows.h>

#include <functional>

// The longest path the file functions take, in characters, "\\?\" form included.
constexpr size_t qv_longest_path = 32767;

// One step of a walk. Both paths are absolute and stay valid only during the
// visit: path is the plain form (the root as given, names appended), long_path
// the "\\?\" form, which reaches the entry exactly as listed (a name ending in a
// dot or a space included) and at any length.
struct QV_walk_step {
    enum Kind { folder_entered, leaf, folder_left };
    Kind kind;
    const wchar_t* path;
    size_t path_length;
    const wchar_t* long_path;
    const wchar_t* name;  // the last component, as its folder lists it
    DWORD attributes;     // as its folder lists it: a link's own, never its target's
};

// Answers false to end the walk at once.
using QV_walk_visitor = std::function<bool(const QV_walk_step&)>;


// Walks the tree at root (an absolute path, plain or "\\?\", not a volume root)
// depth first, with no recursion on the call stack, and never follows a link: a
// reparse point of any kind is a leaf, whatever it points to, also as the root.
// The root is the first step. A folder is listed whole before any of its entries
// is visited; its entries come between its folder_entered and folder_left steps,
// so a visitor may remove each entry as it comes and the folder as it is left.
//
// Answers ERROR_SUCCESS only when every part of the tree was listed to its end.
// Otherwise the walk stops at the first part that cannot be listed (the root
// itself included: one that is missing answers its error) or whose path would be
// longer than qv_longest_path (ERROR_FILENAME_EXCED_RANGE), and answers that
// Win32 error, never 0; failed_path, when given, then names that part in plain
// form. A visitor that answers false ends the walk with ERROR_CANCELLED (and
// failed_path names the entry it was shown). Out of memory answers
// ERROR_NOT_ENOUGH_MEMORY. Steps visited before a failure stay visited; on
// success failed_path is left untouched.
DWORD qv_walk_tree(const QV_string& root, const QV_walk_visitor& visit, QV_string* failed_path = nullptr) noexcept;

// Test seams: the walk lists folders and looks its root up through these
// (FindFirstFileW, FindNextFileW), so a test can fail any listing.
extern HANDLE (*qv_walk_find_first)(LPCWSTR pattern, LPWIN32_FIND_DATAW found);
extern BOOL (*qv_walk_find_next)(HANDLE search, LPWIN32_FIND_DATAW found);
