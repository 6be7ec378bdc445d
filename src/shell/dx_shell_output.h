#pragma once
// The two reporting channels of the program: message boxes in the GUI build,
// standard output (and standard error) in the console build.
//
// Console text is written as it stands: 8-bit text byte for byte, with "\n" kept
// as a single line feed (no CRLF translation), whether standard output is a
// console, a pipe or a file. Wide text goes to a console as UTF-16
// (WriteConsoleW) and to a pipe or file converted to the ANSI code page. A
// progress line on the console (base/qv_progress.h) is erased before any text
// is written, so the text starts on a clean line.

#include <windows.h>

// Seam for tests: the 8-bit message box of the usage text. Notice boxes go through
// qv_message_box_w (base/qv_message_box.h), like every other box of the program.
extern int (WINAPI* dx_shell_message_box_a)(HWND, LPCSTR, LPCSTR, UINT);

// The caption and style of the program's notice boxes and usage box.
inline constexpr const wchar_t* DX_SHELL_NOTICE_CAPTION = L"VlmKdShell.exe";
inline constexpr UINT DX_SHELL_NOTICE_STYLE = MB_OK | MB_TOPMOST;

void dx_shell_write_console(const char* text);
void dx_shell_write_console(const wchar_t* text);
void dx_shell_write_error(const wchar_t* text);
// Standard error in the OEM code page, the console's own; as wide text when the
// conversion gives nothing.
void dx_shell_write_error_oem(const wchar_t* text);
void dx_shell_notice_box(const wchar_t* text);

// The usage text of each build, and showing it in the build's channel.
extern const char DX_SHELL_USAGE_GUI[];
extern const char DX_SHELL_USAGE_CONSOLE[];
void dx_shell_show_usage(bool gui);
