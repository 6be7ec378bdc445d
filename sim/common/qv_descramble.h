#pragma once
// The core side of request scrambling: gives back the text that the program's
// request scrambler was given. Only exact scrambled forms are accepted, so a
// damaged request is refused rather than misread.

#include <cstddef>
#include <cstdint>
#include <string>

// Must match the program's initial key.
inline constexpr uint16_t QV_DESCRAMBLE_KEY = 0xE5A1;

// Descrambles the m characters at scrambled into *text. False (and *text
// untouched) when m is no possible scrambled length, a character lies outside
// 0x4000..0xBFFF, or a group character carries bits beyond its group.
bool qv_descramble_request_text(const wchar_t* scrambled, size_t m, std::wstring* text);

// The same for a scrambled BSTR or other text, read up to its first zero.
bool qv_descramble_request_text(const wchar_t* scrambled, std::wstring* text);
