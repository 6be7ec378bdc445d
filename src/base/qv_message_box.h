#pragma once
// The product's modal error and information boxes.

#include "base/qv_string.h"

#include <windows.h>

// The caption every command passes.
inline constexpr const wchar_t* QV_PRODUCT_CAPTION = L"Velmora Orrisguard";

// OK button, stop icon, set foreground, topmost: 0x50010.
inline constexpr UINT QV_ERROR_BOX_STYLE = MB_OK | MB_ICONHAND | MB_SETFOREGROUND | MB_TOPMOST;
// OK button, information icon, set foreground, topmost: 0x50040.
inline constexpr UINT QV_INFO_BOX_STYLE = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST;

// Test seam: the MessageBoxW both boxes go through.
extern int (WINAPI* qv_message_box_w)(HWND, LPCWSTR, LPCWSTR, UINT);

// Shows text in a modal box owned by owner; caption_override, when not null,
// replaces caption. The button pressed is not reported.
void qv_error_box(const QV_string& text, const wchar_t* caption, HWND owner, const wchar_t* caption_override);
void qv_info_box(const QV_string& text, const wchar_t* caption, HWND owner, const wchar_t* caption_override);
