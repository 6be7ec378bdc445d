#include "shell/dx_shell_output.h"

#include "base/qv_message_box.h"
#include "base/qv_progress.h"
#include "base/qv_string.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

int (WINAPI* dx_shell_message_box_a)(HWND, LPCSTR, LPCSTR, UINT) = MessageBoxA;

namespace {

void write_bytes(HANDLE out, const char* bytes, size_t count)
{
    while (count > 0) {
        DWORD chunk = count > 0x10000 ? 0x10000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(out, bytes, chunk, &written, nullptr) || written == 0)
            return;
        bytes += written;
        count -= written;
    }
}

void write_wide(DWORD which, const wchar_t* text)
{
    qv_progress_erase_console_line();
    HANDLE out = GetStdHandle(which);
    if (!text || out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        WriteConsoleW(out, text, static_cast<DWORD>(std::wcslen(text)), &written, nullptr);
        return;
    }
    QV_string converted(text);
    const char* bytes = converted.narrow();
    write_bytes(out, bytes, std::strlen(bytes));
}

void write_narrow(DWORD which, const char* text)
{
    qv_progress_erase_console_line();
    HANDLE out = GetStdHandle(which);
    if (text && out != nullptr && out != INVALID_HANDLE_VALUE)
        write_bytes(out, text, std::strlen(text));
}

} // namespace

void dx_shell_write_console(const char* text)
{
    write_narrow(STD_OUTPUT_HANDLE, text);
}

void dx_shell_write_console(const wchar_t* text)
{
    write_wide(STD_OUTPUT_HANDLE, text);
}

void dx_shell_write_error(const wchar_t* text)
{
    write_wide(STD_ERROR_HANDLE, text);
}

void dx_shell_write_error_oem(const wchar_t* text)
{
    if (!text)
        return;
    int size = WideCharToMultiByte(CP_OEMCP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::unique_ptr<char[]> bytes(size > 1 ? new (std::nothrow) char[size] : nullptr);
    if (!bytes || WideCharToMultiByte(CP_OEMCP, 0, text, -1, bytes.get(), size, nullptr, nullptr) <= 1) {
        write_wide(STD_ERROR_HANDLE, text);
        return;
    }
    write_narrow(STD_ERROR_HANDLE, bytes.get());
}

void dx_shell_notice_box(const wchar_t* text)
{
    qv_message_box_w(nullptr, text, DX_SHELL_NOTICE_CAPTION, DX_SHELL_NOTICE_STYLE);
}

void dx_shell_show_usage(bool gui)
{
    if (gui)
        dx_shell_message_box_a(nullptr, DX_SHELL_USAGE_GUI, "VlmKdShell.exe", DX_SHELL_NOTICE_STYLE);
    else
        dx_shell_write_console(DX_SHELL_USAGE_CONSOLE);
}
