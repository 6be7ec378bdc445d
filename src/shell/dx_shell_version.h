#pragma once
// Reading the file version of a module on disk.

#include "base/qv_path.h"

// The "FileVersion" text of the file's first translation. False, with version
// untouched, when the file has no version block, no translation table or no such
// entry.
bool dx_get_file_version(const QV_path& file, QV_string& version);
