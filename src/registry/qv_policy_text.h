#pragma once
// The policy text: "#"-separated tokens "code:value", "R+" and "R-", and the value
// texts of the numeric and list kinds.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

struct QV_policy_token {
    enum Kind { ignored, restart_on, restart_off, value };
    Kind kind = ignored;
    std::wstring key;         // upper case, white space trimmed
    std::wstring value_text;  // everything after the first ":", unchanged
};

// The non-empty pieces between "#", in order. A null text has none.
std::vector<std::wstring_view> qv_policy_pieces(const wchar_t* text);

// "R+"/"R-" in any case, or a key and value text; a piece without a character on both
// sides of its first ":" is ignored.
QV_policy_token qv_parse_policy_token(std::wstring_view piece);

// Decimal digits only, at least one, within the unsigned 32-bit range. Anything else
// (a sign, white space, a digit string above 4294967295) answers false, out untouched.
bool qv_parse_decimal(std::wstring_view text, DWORD& out);

// The decimal number a text begins with, 0 when it begins with no digit. Answers false,
// out untouched, when the digits exceed the unsigned 32-bit range: such a number is
// never saturated or wrapped into another value.
bool qv_leading_decimal(std::wstring_view text, DWORD& out);

// The entries of a list value text: split at ":", empty entries left out; with
// drive_colons, a ">" inside an entry stands for ":".
std::vector<std::wstring> qv_policy_list_entries(std::wstring_view text, bool drive_colons);

// REG_MULTI_SZ data of a list: each entry and its NUL, then one more NUL.
std::vector<wchar_t> qv_multi_sz_data(const std::vector<std::wstring>& entries);

// The entries stored in REG_MULTI_SZ data, up to the first empty entry or the end.
std::vector<std::wstring> qv_multi_sz_entries(const wchar_t* data, size_t units);
