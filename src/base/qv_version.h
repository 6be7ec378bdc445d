#pragma once
// Reading a module's version resource (RT_VERSION, id 1) and taking its file
// version text apart.

#include "base/qv_string.h"

#include <windows.h>

#include <cstddef>

// The value of the first string entry whose key equals key exactly (case-
// sensitive), from the first string table of the module's string file
// information, whatever its language. A null module names the program's own file.
// Gives no text (is_null) when the resource is missing, malformed or lacks the
// key, or when key is null; never reads outside the resource.
QV_string qv_get_version_string(HMODULE module, const wchar_t* key);

// qv_get_version_string with the key "FileVersion".
QV_string qv_get_file_version_string(HMODULE module);

// The same lookup over the bytes of a version resource already in memory; the
// walk stays within size bytes.
QV_string qv_find_version_value(const void* resource, size_t size, const wchar_t* key);

// Reads "%d, %d, %d, %d" from text (a blank matches any run of white space,
// none included). True when all four numbers were read; the integers then hold
// them. Null arguments give false.
bool qv_parse_file_version(const wchar_t* text, int* major, int* minor, int* patch, int* build);
