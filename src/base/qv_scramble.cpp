#include "base/qv_scramble.h"

#include "trace/qv_trace.h"

#include <cwchar>

namespace {

constexpr size_t GROUP = 15;
constexpr uint16_t BASE = 0x4000;

// Chaining and packing in one pass over each group of 15: every character is
// XORed with the previous output (the key for the first), byte-swapped, and
// becomes the next key; its top bit moves into the group's character and its
// low 15 bits, offset by 0x4000, stay in place.
void scramble_chars(const wchar_t* in, size_t n, wchar_t* out)
{
    uint16_t key = QV_SCRAMBLE_KEY;
    wchar_t* tops = out + n;
    for (size_t group = 0; group < n; group += GROUP) {
        size_t count = n - group < GROUP ? n - group : GROUP;
        unsigned acc = 0;
        for (size_t k = 0; k < count; ++k) {
            uint16_t t = static_cast<uint16_t>(in[group + k]) ^ key;
            uint16_t c = static_cast<uint16_t>(t << 8 | t >> 8);
            key = c;
            acc |= static_cast<unsigned>(c >> 15) << k;
            out[group + k] = static_cast<wchar_t>((c & 0x7FFF) + BASE);
        }
        *tops++ = static_cast<wchar_t>(acc + BASE);
    }
}

} // namespace

bool qv_scrambled_size(uint64_t n, uint64_t* m, UINT* byte_length)
{
    // m = floor((16n + 14) / 15), written so that it cannot overflow.
    uint64_t chars = n + (n / GROUP) + (n % GROUP != 0 ? 1 : 0);
    if (chars < n || chars >= 0x7FFFFFFFull / sizeof(wchar_t))
        return false;
    *m = chars;
    *byte_length = static_cast<UINT>((chars + 1) * sizeof(wchar_t));
    return true;
}

HRESULT qv_scramble_request_text(const wchar_t* text, BSTR* scrambled)
{
    qv_trace_enter(L"qv_scramble_request_text", 0);
    if (scrambled)
        *scrambled = nullptr;
    if (!text || !scrambled)
        return E_INVALIDARG;
    size_t n = std::wcslen(text);
    uint64_t m = 0;
    UINT bytes = 0;
    if (!qv_scrambled_size(n, &m, &bytes))
        return E_OUTOFMEMORY;
    BSTR out = SysAllocStringByteLen(nullptr, bytes);
    if (!out)
        return E_OUTOFMEMORY;
    scramble_chars(text, n, out);
    out[m] = L'\0';
    *scrambled = out;
    return S_OK;
}
