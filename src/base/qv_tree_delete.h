#pragma once
// Removing a file or a folder tree by handle. Force delete runs as administrator
// on trees that another user may own, and may change while they are removed: a
// look by name followed by an act by name would let the tree's owner send the act
// anywhere (a folder swapped for a link between the two). Everything here acts
// through the handle it checked.

#include "base/qv_progress.h"
#include "base/qv_string.h"

#include <windows.h>

// Removes the file or folder tree at root (an absolute path, plain or "\\?\",
// not a volume root).
//
// Promise: nothing outside the root is opened for deletion, listed or removed,
// whatever changes in the tree while it runs.
//
// How it keeps it. The root is opened by its path without following a link and
// looked at through that handle. Every folder is listed through its own handle,
// never by a path pattern. Each entry is opened relative to its folder's handle
// (one name, resolved inside that folder alone) without following a link, for
// reading its attributes only, and acted on only when that handle shows what the
// listing showed: the same file id, and a reparse point exactly when the listing
// showed one. Only then is it opened again, through that handle, for deletion,
// and removed by a disposition set on the handle, children before their folder.
// A read-only attribute is cleared through the handle just before and put back
// when the entry stays. Every handle must also carry the name of the place it was
// opened at, as the system names it: where an open follows a link whatever it
// asks (Wine, which lists a link to a file as a plain file), the handle names the
// target, elsewhere, and the entry stays (ERROR_CANT_ACCESS_FILE).
//
// Links (reparse points) are never entered. A link is removed as the link itself
// when the system opens it as itself (Windows). Where it cannot (Wine opens the
// target of a folder link whatever is asked), the handle shows no reparse point,
// so the link stays and its target is never opened for deletion.
//
// An entry that is not what its folder listed (renamed, replaced, swapped for a
// link since the listing) is neither entered nor removed. A folder that cannot be
// listed stays with everything in it. Neither ends the removal: every other entry
// that can go goes. No recursion on the call stack: any depth and any name the
// system accepts (names ending in a dot or a space included).
//
// Answers ERROR_SUCCESS when the root is gone. Otherwise the Win32 error of the
// first entry that stayed, in the walk's order (never 0): the error of its open,
// listing or removal; ERROR_CANT_ACCESS_FILE for an entry that is not what its
// folder listed; ERROR_NOT_A_REPARSE_POINT for a link the system cannot open as
// itself; ERROR_INVALID_NAME for a root that holds a pattern character. stayed_path,
// when given, then names that entry in plain form; it is left untouched on success.
//
// progress, when given, is told the count of entries removed after each removal.
// Once it is stopped the removal ends there: what was removed is gone, the rest
// stays, and the answer is ERROR_CANCELLED with stayed_path naming the root.
DWORD qv_delete_tree(const QV_string& root, QV_string* stayed_path = nullptr,
                     QV_progress* progress = nullptr) noexcept;

// Removes the file at path (absolute, plain or "\\?\") with the promise and the
// checks of qv_delete_tree: a link is removed as itself or not at all, never what
// it points to, whatever the system's DeleteFileW would do with it. A read-only
// file goes too. A folder is refused with ERROR_ACCESS_DENIED, as DeleteFileW
// refuses it; otherwise the answers are those of qv_delete_tree for its root.
DWORD qv_delete_one_file(const QV_string& path) noexcept;

// Test seam, null in the product: called with the plain path of each folder once
// it is listed through its handle, before any of its entries is opened, so that a
// test can change the tree between the listing and the descent.
extern void (*qv_delete_tree_listed)(const wchar_t* folder_path);
