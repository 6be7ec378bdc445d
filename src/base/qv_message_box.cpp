#include "base/qv_message_box.h"

#include "trace/qv_trace.h"

int (WINAPI* qv_message_box_w)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;

namespace {

void show_box(const QV_string& text, const wchar_t* caption, HWND owner, const wchar_t* caption_override,
              UINT style)
{
    qv_message_box_w(owner, text.c_str(), caption_override ? caption_override : caption, style);
}

} // namespace

void qv_error_box(const QV_string& text, const wchar_t* caption, HWND owner, const wchar_t* caption_override)
{
    qv_trace_enter(L"qv_error_box", 0, L"%s\n", text.is_null() ? L"(null)" : text.c_str());
    show_box(text, caption, owner, caption_override, QV_ERROR_BOX_STYLE);
}

void qv_info_box(const QV_string& text, const wchar_t* caption, HWND owner, const wchar_t* caption_override)
{
    qv_trace_enter(L"qv_info_box", 0, L"%s\n", text.is_null() ? L"(null)" : text.c_str());
    show_box(text, caption, owner, caption_override, QV_INFO_BOX_STYLE);
}
