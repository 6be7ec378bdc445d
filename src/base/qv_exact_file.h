#pragma once
// Opening a file at one exact place: never a door, through a link or a second
// name, into a file that lives somewhere else, and never a file created anywhere
// but in that place.

#include "base/qv_unique.h"

#include <windows.h>

#include <string>

// The name the system gives the open file from its volume's root ("\dir\file",
// FileNameInformation): where the open led. Under Wine an open of a link to a
// file follows the link whatever it asks, and the handle then carries the
// target's name. False, with the last error set, when the system cannot say.
bool qv_name_by_handle(HANDLE file, std::wstring& name);

// True when the system names the open file `name` (as qv_name_by_handle gives it,
// case ignored; where the system drops the dots and spaces that end a name, as
// Wine does, without them): the open reached that name itself, not a link's
// target elsewhere.
bool qv_handle_named(HANDLE file, const std::wstring& name);

// A folder held open to open files in it, with the serial number of its volume
// (asked once, when the folder is opened: the question is slow on some systems).
// A volume that cannot say its serial number leaves volume_known false, and no
// memo is then trusted for files in the folder.
struct QV_exact_folder {
    QV_file handle;
    DWORD volume = 0;
    bool volume_known = false;
};

// Opens the folder at `path` (links or junctions on the way to it, the folder's own
// name included, are followed: that is where the folder is). True on success;
// false with the last error set and `folder` untouched otherwise.
bool qv_open_exact_folder(const wchar_t* path, QV_exact_folder& folder);

// How the file is opened, in the terms of NtCreateFile.
struct QV_exact_open {
    ACCESS_MASK access;  // FILE_READ_ATTRIBUTES is always added
    ULONG share;
    bool create;         // a missing file is created, exclusively
    ULONG options;       // added to FILE_NON_DIRECTORY_FILE and FILE_OPEN_REPARSE_POINT
};

// The file last proven to be the one of a name in a folder: its volume and its
// index there. Keep one per place; a default one knows no file.
struct QV_exact_memo {
    bool known = false;
    DWORD volume = 0;
    LONGLONG index = 0;
};

// Opens `name` (one component: no separator, no stream, not "." or "..", not ending
// in a dot or a space) relative to the held `folder`, and promises that the handle
// it gives is a plain file (no reparse point, not a folder) with one link only,
// directly inside that folder, whose own name is `name` (not a short name that
// happens to match). A file that is not there is created only when `how` asks,
// and only exclusively: a create never goes through a link, a dangling one
// included, so this call never makes a file anywhere but in `folder`. A file
// created here that then fails a check is removed again. Nothing here traces, so
// the trace writer can use it.
//
// With a memo, the file's path is asked only when the opened file is not the one the memo
// last proved to be there; the other checks run on every call.
//
// On success *created tells whether this call created the file. On failure the
// handle is invalid, *created is false, the memo is left as it was, and the last
// error says why (ERROR_ACCESS_DENIED when a file was opened but is not a plain,
// single-link file of that name; ERROR_FILE_NOT_FOUND when nothing is there, or
// only a dangling link, and `how` does not create or the create was refused;
// ERROR_BAD_PATHNAME for a name that is not one component).
QV_file qv_open_exact_file(const QV_exact_folder& folder, const wchar_t* name, const QV_exact_open& how,
                           bool* created, QV_exact_memo* memo = nullptr);

// qv_open_exact_folder of `folder_path`, then qv_open_exact_file in it, without a memo.
QV_file qv_open_exact_file(const wchar_t* folder_path, const wchar_t* name, const QV_exact_open& how,
                           bool* created);
