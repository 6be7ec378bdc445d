#include "xml/qvxml_entities.h"

#include "xml/qvxml_serializer.h"

#include <cwchar>

namespace {

// Extra characters each escaped character needs; 0 for the rest.
size_t escape_growth(wchar_t c)
{
    switch (c) {
    case L'"': return 5;
    case L'&': case L'\'': return 4;
    case L'<': case L'>': return 3;
    default: return 0;
    }
}

const wchar_t* escape_of(wchar_t c)
{
    switch (c) {
    case L'"': return L"&quot;";
    case L'&': return L"&amp;";
    case L'\'': return L"&#39;";
    case L'<': return L"&lt;";
    default: return L"&gt;";
    }
}

// The code of "#n" as _wtoi reads it (white space, a sign, digits); anything
// beyond the last Unicode code is clamped so that no number wraps into range.
long long decimal_code(const wchar_t* digits, const wchar_t* end)
{
    while (digits < end && qvxml_is_space(*digits))
        ++digits;
    bool negative = digits < end && *digits == L'-';
    if (digits < end && (*digits == L'-' || *digits == L'+'))
        ++digits;
    long long value = 0;
    for (; digits < end && *digits >= L'0' && *digits <= L'9'; ++digits) {
        value = value * 10 + (*digits - L'0');
        if (value > 0x10FFFF)
            value = 0x110000;
    }
    return negative ? -value : value;
}

// A decimal reference inserts its character, a supplementary one as a surrogate
// pair; zero, negative, surrogate and out-of-range codes insert nothing.
void append_code(QVXML_buffer& out, long long code)
{
    if (code <= 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return;
    if (code < 0x10000) {
        out.append(static_cast<wchar_t>(code));
        return;
    }
    code -= 0x10000;
    out.append(static_cast<wchar_t>(0xD800 + (code >> 10)));
    out.append(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
}

// The character a named reference stands for; 0 when the name is none of the five.
wchar_t named_entity(const wchar_t* name, size_t length)
{
    static const struct { const wchar_t* name; wchar_t c; } NAMES[] = {
        {L"amp", L'&'}, {L"quot", L'"'}, {L"apos", L'\''}, {L"lt", L'<'}, {L"gt", L'>'},
    };
    for (const auto& entry : NAMES) {
        if (std::wcslen(entry.name) == length && _wcsnicmp(entry.name, name, length) == 0)
            return entry.c;
    }
    return 0;
}

void append_reference(QVXML_buffer& out, const wchar_t* name, const wchar_t* end)
{
    if (name < end && *name == L'#') {
        append_code(out, decimal_code(name + 1, end));
        return;
    }
    if (wchar_t c = named_entity(name, static_cast<size_t>(end - name)))
        out.append(c);
}

// Appends text to out with the five characters escaped.
template <typename Out>
void append_escaped(Out& out, const wchar_t* text)
{
    const wchar_t* run = text;
    for (const wchar_t* p = run; *p; ++p) {
        if (!escape_growth(*p))
            continue;
        out.append(run, static_cast<size_t>(p - run));
        const wchar_t* escape = escape_of(*p);
        out.append(escape, std::wcslen(escape));
        run = p + 1;
    }
    out.append(run, std::wcslen(run));
}

} // namespace

void escape_entities(QVXML_buffer& text)
{
    size_t growth = 0;
    for (const wchar_t* p = text.c_str(); *p; ++p)
        growth += escape_growth(*p);
    if (!growth)
        return;
    QVXML_buffer out(text.step, text.heap());
    out.grow(text.length() + growth);
    append_escaped(out, text.c_str());
    text.swap(out);
}

void qvxml_append_escaped(QVXML_output& out, const wchar_t* text)
{
    append_escaped(out, text);
}

void decode_entities(QVXML_buffer& text)
{
    const wchar_t* p = text.c_str();
    const wchar_t* amp = std::wcschr(p, L'&');
    const wchar_t* semicolon = amp ? std::wcschr(amp, L';') : nullptr;
    if (!semicolon)
        return;  // nothing is a reference
    QVXML_buffer out(text.step, text.heap());
    if (text.length() > 1024)
        out.grow(text.length());
    while (amp && semicolon) {
        out.append(p, static_cast<size_t>(amp - p));
        append_reference(out, amp + 1, semicolon);
        p = semicolon + 1;
        amp = std::wcschr(p, L'&');
        semicolon = amp ? std::wcschr(amp, L';') : nullptr;
    }
    out.append(p);
    text.swap(out);
}
