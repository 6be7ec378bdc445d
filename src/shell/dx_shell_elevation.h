#pragma once
// What the repair commands ask before they act, and how they start a process
// that may ask the user for elevation.

#include <windows.h>

// Test seams: the administrator answer (S_OK means administrator) and the shell's
// launch call, the layer's qv_shell_execute. Wine runs every process as
// administrator and starts "runas" without a prompt, so the other branches are
// reached only through these; they stay beside the layer's probe because a test
// answers through them (no rights, a launch that succeeds without starting
// anything), which a probe that only fails or ends a call cannot do.
extern HRESULT (*dx_shell_admin_check)();
extern HINSTANCE(WINAPI* dx_shell_execute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

// Only S_OK counts: S_FALSE and every failure mean "not administrator".
bool dx_shell_is_admin();

// Starts file with parameters through the shell, hidden, without waiting. True
// when the shell reports a result above 32.
bool dx_shell_launch(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters);
