#include "cab/qv_cab_ansi.h"

#include <windows.h>

#include <vector>

bool qv_cab_exact_ansi(const wchar_t* text, std::string& out)
{
    BOOL used_default = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr,
                                   &used_default);
    if (size <= 0 || used_default)
        return false;
    std::string converted(static_cast<size_t>(size), '\0');
    used_default = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, converted.data(), size, nullptr,
                            &used_default) != size || used_default)
        return false;
    converted.resize(static_cast<size_t>(size - 1));
    out = std::move(converted);
    return true;
}

bool qv_cab_ansi_path(const wchar_t* path, std::string& out)
{
    if (qv_cab_exact_ansi(path, out))
        return true;
    DWORD size = GetShortPathNameW(path, nullptr, 0);
    if (size == 0)
        return false;
    std::vector<wchar_t> short_form(size);
    DWORD length = GetShortPathNameW(path, short_form.data(), size);
    if (length == 0 || length >= size)
        return false;
    return qv_cab_exact_ansi(short_form.data(), out);
}
