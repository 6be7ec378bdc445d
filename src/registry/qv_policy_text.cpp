#include "registry/qv_policy_text.h"

namespace {

bool is_digit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::wstring_view trimmed(std::wstring_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::wstring upper_ascii(std::wstring_view text)
{
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return out;
}

// Accumulates the digits at the start of text; false when they exceed 32 bits.
bool accumulate(std::wstring_view text, size_t& used, DWORD& out)
{
    unsigned long long n = 0;
    used = 0;
    for (; used < text.size() && is_digit(text[used]); ++used) {
        n = n * 10 + static_cast<unsigned>(text[used] - L'0');
        if (n > 0xFFFFFFFFull)
            return false;
    }
    out = static_cast<DWORD>(n);
    return true;
}

} // namespace

std::vector<std::wstring_view> qv_policy_pieces(const wchar_t* text)
{
    std::vector<std::wstring_view> pieces;
    if (!text)
        return pieces;
    std::wstring_view rest(text);
    while (!rest.empty()) {
        size_t hash = rest.find(L'#');
        std::wstring_view piece = rest.substr(0, hash);
        if (!piece.empty())
            pieces.push_back(piece);
        if (hash == std::wstring_view::npos)
            break;
        rest.remove_prefix(hash + 1);
    }
    return pieces;
}

QV_policy_token qv_parse_policy_token(std::wstring_view piece)
{
    QV_policy_token token;
    if (piece.size() == 2 && (piece[0] == L'R' || piece[0] == L'r') && (piece[1] == L'+' || piece[1] == L'-')) {
        token.kind = piece[1] == L'+' ? QV_policy_token::restart_on : QV_policy_token::restart_off;
        return token;
    }
    size_t colon = piece.find(L':');
    if (colon == std::wstring_view::npos || colon == 0 || colon + 1 >= piece.size())
        return token;
    token.kind = QV_policy_token::value;
    token.key = upper_ascii(trimmed(piece.substr(0, colon)));
    token.value_text = std::wstring(piece.substr(colon + 1));
    return token;
}

bool qv_parse_decimal(std::wstring_view text, DWORD& out)
{
    size_t used = 0;
    DWORD n = 0;
    if (text.empty() || !accumulate(text, used, n) || used != text.size())
        return false;
    out = n;
    return true;
}

bool qv_leading_decimal(std::wstring_view text, DWORD& out)
{
    size_t used = 0;
    DWORD n = 0;
    if (!accumulate(text, used, n))
        return false;
    out = n;
    return true;
}

std::vector<std::wstring> qv_policy_list_entries(std::wstring_view text, bool drive_colons)
{
    std::vector<std::wstring> entries;
    while (true) {
        size_t colon = text.find(L':');
        std::wstring entry(text.substr(0, colon));
        if (drive_colons) {
            for (wchar_t& c : entry) {
                if (c == L'>')
                    c = L':';
            }
        }
        if (!entry.empty())
            entries.push_back(std::move(entry));
        if (colon == std::wstring_view::npos)
            return entries;
        text.remove_prefix(colon + 1);
    }
}

std::vector<wchar_t> qv_multi_sz_data(const std::vector<std::wstring>& entries)
{
    std::vector<wchar_t> data;
    for (const std::wstring& entry : entries) {
        data.insert(data.end(), entry.begin(), entry.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    if (entries.empty())
        data.push_back(L'\0');
    return data;
}

std::vector<std::wstring> qv_multi_sz_entries(const wchar_t* data, size_t units)
{
    std::vector<std::wstring> entries;
    size_t start = 0;
    while (start < units) {
        size_t end = start;
        while (end < units && data[end] != L'\0')
            ++end;
        if (end == start)
            break;
        entries.emplace_back(data + start, end - start);
        start = end + 1;
    }
    return entries;
}
