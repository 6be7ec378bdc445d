#include "base/qv_command_line.h"

#include <string>

QV_string qv_quote_argument(const wchar_t* text)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t* at = text ? text : L""; *at; ++at) {
        if (*at == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quotation mark: there each must be doubled.
        quoted.append(*at == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += *at;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return QV_string(quoted.c_str());
}
