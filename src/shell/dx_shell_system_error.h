#pragma once
// A failure shown to the user in the system's own words.

#include "base/qv_string.h"

#include <windows.h>

// Shows the system's text for code in the build's channel: the product's error box
// (caption "Velmora Orrisguard") in the GUI build; standard error in the console
// build, in the OEM code page (as wide text when that conversion gives nothing).
// When the system has no text for code, fallback_format (a wide format taking the
// code once, as "%08x") is shown instead, on standard error as wide text.
// appendix, when it holds text, follows in the same box, or on standard error.
void dx_shell_report_system_error(bool gui, DWORD code, const wchar_t* fallback_format,
                                  const QV_string& appendix = QV_string(L""));
