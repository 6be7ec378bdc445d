#pragma once
// Names for the cabinet library, which takes narrow text in the ANSI code page.
// A best-fit conversion could turn a path into the name of another file, so only
// exact conversions are handed over.

#include <string>

// text in the ANSI code page when every character converts exactly; false and
// out untouched otherwise.
bool qv_cab_exact_ansi(const wchar_t* text, std::string& out);

// An existing path as the cabinet library must be given it: exactly converted,
// else its short form exactly converted; false and out untouched when neither.
bool qv_cab_ansi_path(const wchar_t* path, std::string& out);
