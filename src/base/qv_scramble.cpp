#include "base/qv_scramble.h"

#include "trace/qv_trace.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <cwchar>

namespace {

constexpr size_t GROUP = 15;
constexpr uint16_t BASE = 0x4000;

// Chaining and packing, as written: every character is XORed with the previous
// output (the key for the first), byte-swapped, and becomes the next key; its
// top bit moves into its group's character and its low 15 bits, offset by
// 0x4000, stay in place. Starts at a group boundary; gives the last key.
uint16_t scramble_groups(const wchar_t* in, size_t n, wchar_t* out, wchar_t* tops, uint16_t key)
{
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
    return key;
}

// The same, eight characters at a time. With r the byte swap, the chain is a
// running XOR: the output at i is r^(i+1)(z[i]) where z[i] = z[i-1] XOR
// r^i(in[i]) and z[-1] is the key (r twice is the identity). Lanes alternate
// between swapped and plain, which fixed masks express when blocks start at an
// even index.
__m128i swap_lanes(__m128i v, __m128i lanes)
{
    __m128i swapped = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    return _mm_xor_si128(v, _mm_and_si128(_mm_xor_si128(v, swapped), lanes));
}

// Scrambles in[0..8) into out; chain holds z of the previous character in every
// lane. Gives the top bits of the eight outputs, first in bit 0.
unsigned scramble_eight(const wchar_t* in, wchar_t* out, __m128i* chain)
{
    const __m128i odd = _mm_set1_epi32(static_cast<int>(0xFFFF0000u));
    const __m128i even = _mm_set1_epi32(0x0000FFFF);
    __m128i w = swap_lanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), odd);
    w = _mm_xor_si128(w, _mm_slli_si128(w, 2));
    w = _mm_xor_si128(w, _mm_slli_si128(w, 4));
    w = _mm_xor_si128(w, _mm_slli_si128(w, 8));
    __m128i z = _mm_xor_si128(w, *chain);
    __m128i last = _mm_shufflehi_epi16(w, 0xFF);
    *chain = _mm_xor_si128(*chain, _mm_unpackhi_epi64(last, last));
    __m128i c = swap_lanes(z, even);
    unsigned top_bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(c, c))) & 0xFF;
    c = _mm_add_epi16(_mm_and_si128(c, _mm_set1_epi16(0x7FFF)), _mm_set1_epi16(BASE));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), c);
    return top_bits;
}

// The top bits of a block (first character's in bit 0 of bits[0]) packed into
// one character per group of 15.
void pack_tops(const uint8_t* bits, size_t groups, wchar_t* tops)
{
    for (size_t g = 0; g < groups; ++g) {
        size_t bit = g * GROUP;
        unsigned word = bits[bit / 8] | bits[bit / 8 + 1] << 8 | bits[bit / 8 + 2] << 16;
        *tops++ = static_cast<wchar_t>(((word >> (bit % 8)) & 0x7FFF) + BASE);
    }
}

// 120 characters are 15 steps of eight and 8 groups of 15.
constexpr size_t BLOCK = 120;

// Scrambles whole blocks; gives the key for the characters after them.
uint16_t scramble_blocks(const wchar_t* in, size_t blocks, wchar_t* out, wchar_t* tops, uint16_t key)
{
    __m128i chain = _mm_set1_epi16(static_cast<short>(key));
    for (size_t b = 0; b < blocks; ++b, in += BLOCK, out += BLOCK) {
        uint8_t bits[BLOCK / 8 + 1] = {};
        for (size_t step = 0; step < BLOCK / 8; ++step)
            bits[step] = static_cast<uint8_t>(scramble_eight(in + 8 * step, out + 8 * step, &chain));
        pack_tops(bits, BLOCK / GROUP, tops);
        tops += BLOCK / GROUP;
    }
    // The last output of a block (even count) is its z unswapped.
    return static_cast<uint16_t>(_mm_cvtsi128_si32(chain));
}

// The same, sixteen characters at a time where the processor has 256-bit
// integer vectors. A byte shuffle swaps the alternate lanes in one step, the
// running XOR is taken in each 128-bit half and then carried from the low half
// into the high one. Blocks of 240 characters are 15 steps and 16 groups.
constexpr size_t WIDE_BLOCK = 240;

__attribute__((target("avx2"))) unsigned scramble_sixteen(const wchar_t* in, wchar_t* out, __m256i* chain)
{
    const __m256i odd = _mm256_setr_epi8(0, 1, 3, 2, 4, 5, 7, 6, 8, 9, 11, 10, 12, 13, 15, 14,
                                         0, 1, 3, 2, 4, 5, 7, 6, 8, 9, 11, 10, 12, 13, 15, 14);
    const __m256i even = _mm256_setr_epi8(1, 0, 2, 3, 5, 4, 6, 7, 9, 8, 10, 11, 13, 12, 14, 15,
                                          1, 0, 2, 3, 5, 4, 6, 7, 9, 8, 10, 11, 13, 12, 14, 15);
    __m256i w = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), odd);
    w = _mm256_xor_si256(w, _mm256_slli_si256(w, 2));
    w = _mm256_xor_si256(w, _mm256_slli_si256(w, 4));
    w = _mm256_xor_si256(w, _mm256_slli_si256(w, 8));
    __m256i last = _mm256_shuffle_epi32(_mm256_shufflehi_epi16(w, 0xFF), 0xFF);  // each half's last, everywhere
    w = _mm256_xor_si256(w, _mm256_permute2x128_si256(last, last, 0x08));        // low half's into the high half
    __m256i z = _mm256_xor_si256(w, *chain);
    *chain = _mm256_xor_si256(*chain, _mm256_xor_si256(_mm256_permute2x128_si256(last, last, 0x00),
                                                       _mm256_permute2x128_si256(last, last, 0x11)));
    __m256i c = _mm256_shuffle_epi8(z, even);
    unsigned signs = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_packs_epi16(c, c)));
    c = _mm256_add_epi16(_mm256_and_si256(c, _mm256_set1_epi16(0x7FFF)), _mm256_set1_epi16(BASE));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), c);
    return (signs & 0xFF) | ((signs >> 8) & 0xFF00);
}

__attribute__((target("avx2"))) uint16_t scramble_wide_blocks(const wchar_t* in, size_t blocks, wchar_t* out,
                                                              wchar_t* tops, uint16_t key)
{
    __m256i chain = _mm256_set1_epi16(static_cast<short>(key));
    for (size_t b = 0; b < blocks; ++b, in += WIDE_BLOCK, out += WIDE_BLOCK, tops += WIDE_BLOCK / GROUP) {
        uint8_t bits[WIDE_BLOCK / 8 + 2] = {};
        for (size_t step = 0; step < WIDE_BLOCK / 16; ++step) {
            unsigned sixteen = scramble_sixteen(in + 16 * step, out + 16 * step, &chain);
            bits[2 * step] = static_cast<uint8_t>(sixteen);
            bits[2 * step + 1] = static_cast<uint8_t>(sixteen >> 8);
        }
        pack_tops(bits, WIDE_BLOCK / GROUP, tops);
    }
    return static_cast<uint16_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(chain)));
}

bool wide_vectors_usable()
{
    static const bool usable = __builtin_cpu_supports("avx2");
    return usable && qv_scramble_wide_kernel;
}

// wcslen, eight characters at a time. Loads are aligned to 16 bytes so that they
// never reach into the page after the terminator.
size_t text_length(const wchar_t* text)
{
    const wchar_t* at = text;
    if (reinterpret_cast<uintptr_t>(at) % sizeof(wchar_t) != 0)
        return std::wcslen(text);
    for (; reinterpret_cast<uintptr_t>(at) % 16 != 0; ++at) {
        if (*at == L'\0')
            return static_cast<size_t>(at - text);
    }
    const __m128i zero = _mm_setzero_si128();
    for (;; at += 8) {
        __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
        unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)));
        if (zeros != 0)
            return static_cast<size_t>(at - text) + __builtin_ctz(zeros) / sizeof(wchar_t);
    }
}

} // namespace

bool qv_scramble_wide_kernel = true;

void qv_scramble_into(const wchar_t* in, size_t n, wchar_t* out)
{
    uint16_t key = QV_SCRAMBLE_KEY;
    size_t done = 0;
    if (wide_vectors_usable()) {
        size_t wide = n / WIDE_BLOCK;
        key = scramble_wide_blocks(in, wide, out, out + n, key);
        done = wide * WIDE_BLOCK;
    }
    size_t blocks = (n - done) / BLOCK;
    key = scramble_blocks(in + done, blocks, out + done, out + n + done / GROUP, key);
    done += blocks * BLOCK;
    scramble_groups(in + done, n - done, out + done, out + n + done / GROUP, key);
}

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
    size_t n = text_length(text);
    uint64_t m = 0;
    UINT bytes = 0;
    if (!qv_scrambled_size(n, &m, &bytes))
        return E_OUTOFMEMORY;
    BSTR out = SysAllocStringByteLen(nullptr, bytes);
    if (!out)
        return E_OUTOFMEMORY;
    qv_scramble_into(text, n, out);
    out[m] = L'\0';
    *scrambled = out;
    return S_OK;
}
