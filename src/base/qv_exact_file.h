#pragma once
// Opening a file at one exact place: never a door, through a link or a second
// name, into a file that lives somewhere else.

#include "base/qv_unique.h"

#include <windows.h>

// How the file is opened: what CreateFileW is given. FILE_FLAG_OPEN_REPARSE_POINT
// is always added, so a link at the file's own name is opened as itself.
struct QV_exact_open {
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags_and_attributes;
};

// The file last proven to be at a place, by its index on its volume. Keep one per
// place; a default one knows no file.
struct QV_exact_memo {
    bool known = false;
    LONGLONG index = 0;
};

// Opens `path` and promises that the handle it gives is the file itself whose long
// name is the last component of `path`, directly inside the folder the rest of
// `path` names: a plain file (no reparse point) with no other name (one link),
// whose whole path asked by handle is the folder's own path asked by handle
// followed by that name. The folder may be reached through links or junctions;
// the file's own name never is. Nothing here traces, so the trace writer can use it.
//
// With a memo, the path is asked only when the opened file is not the one the memo
// last proved to be there; the other checks run on every call.
//
// On success *created tells whether this call created the file. On failure the
// handle is invalid, *created is false, the memo is left as it was, and the last
// error says why (ERROR_ACCESS_DENIED when a file was opened but is not the one at
// that place, ERROR_BAD_PATHNAME when `path` names no folder).
QV_file qv_open_exact_file(const wchar_t* path, const QV_exact_open& how, bool* created,
                           QV_exact_memo* memo = nullptr);
