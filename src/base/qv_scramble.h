#pragma once
// Scrambling of the request text handed to the core process. The core undoes it
// with the same initial key, so key, layout and allocation must not change.
//
// For n input code units the result holds m = n + ceil(n / 15) characters, all
// in 0x4000..0xBFFF (never a zero, never a surrogate): the n scrambled
// characters, then one character per started group of 15 carrying the group's
// top bits. The BSTR is allocated for m + 1 characters, so its recorded length
// includes the terminating zero; readers take the text up to the first zero.

#include <windows.h>
#include <oleauto.h>

#include <cstdint>

// Initial key of the chaining; the core side uses the same.
inline constexpr uint16_t QV_SCRAMBLE_KEY = 0xE5A1;

// S_OK and the new BSTR in *scrambled (freed by the caller with SysFreeString);
// E_INVALIDARG for a null argument; E_OUTOFMEMORY when the result does not fit a
// BSTR or cannot be allocated. On failure *scrambled (when not null) is null.
HRESULT qv_scramble_request_text(const wchar_t* text, BSTR* scrambled);

// The result length m for n input code units and the BSTR byte length 2(m + 1),
// computed in 64 bits; false when that byte length exceeds 0x7FFFFFFE, the most a
// BSTR's length field is trusted with.
bool qv_scrambled_size(uint64_t n, uint64_t* m, UINT* byte_length);

// The scrambled characters of in[0..n) written to out[0..m), without the
// terminator; for callers that own the buffer (and for measuring the work alone).
void qv_scramble_into(const wchar_t* in, size_t n, wchar_t* out);

// Test seam: whether qv_scramble_into may use its 16-character kernel where the
// processor has 256-bit integer vectors (true); false keeps it to the
// 8-character one. Both give the same text.
extern bool qv_scramble_wide_kernel;
