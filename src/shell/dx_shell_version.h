#pragma once
// Reading the file version of a module on disk.

#include "base/qv_path.h"

// The "FileVersion" text of the file's first translation. False, with version
// untouched, when the file has no version block, no translation table or no such
// entry, or when the entry claims a value longer than the version block holds.
// The text ends at the value's first NUL.
bool dx_get_file_version(const QV_path& file, QV_string& version);
