#include "qv_descramble.h"

#include <cwchar>

namespace {

constexpr size_t GROUP = 15;
constexpr unsigned BASE = 0x4000;

bool in_range(wchar_t c)
{
    return c >= 0x4000 && c <= 0xBFFF;
}

// The input length n for which n + ceil(n / 15) == m; false when there is none
// (m of the form 16q + 1).
bool input_length(size_t m, size_t* n)
{
    if (m % 16 == 1)
        return false;
    *n = m - (m + 15) / 16;
    return true;
}

// The group characters: each must hold no bit beyond its group's size.
bool groups_valid(const wchar_t* scrambled, size_t n)
{
    for (size_t group = 0; group < n; group += GROUP) {
        size_t count = n - group < GROUP ? n - group : GROUP;
        unsigned bits = static_cast<unsigned>(scrambled[n + group / GROUP]) - BASE;
        if (bits >> count)
            return false;
    }
    return true;
}

} // namespace

bool qv_descramble_request_text(const wchar_t* scrambled, size_t m, std::wstring* text)
{
    size_t n = 0;
    if (!scrambled || !text || !input_length(m, &n))
        return false;
    for (size_t i = 0; i < m; ++i) {
        if (!in_range(scrambled[i]))
            return false;
    }
    if (!groups_valid(scrambled, n))
        return false;
    std::wstring plain(n, L'\0');
    uint16_t key = QV_DESCRAMBLE_KEY;
    for (size_t i = 0; i < n; ++i) {
        unsigned acc = static_cast<unsigned>(scrambled[n + i / GROUP]) - BASE;
        unsigned top = (acc >> (i % GROUP)) & 1;
        uint16_t c = static_cast<uint16_t>((static_cast<unsigned>(scrambled[i]) - BASE) | top << 15);
        uint16_t t = static_cast<uint16_t>(c >> 8 | c << 8);
        plain[i] = static_cast<wchar_t>(t ^ key);
        key = c;
    }
    text->swap(plain);
    return true;
}

bool qv_descramble_request_text(const wchar_t* scrambled, std::wstring* text)
{
    if (!scrambled)
        return false;
    return qv_descramble_request_text(scrambled, std::wcslen(scrambled), text);
}
