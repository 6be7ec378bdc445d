#include "base/qv_guid.h"

#include <cstring>

namespace {

constexpr char TEMPLATE[] = "{00000000-0000-0000-0000-000000000000}";
constexpr char DIGITS[] = "0123456789ABCDEF";

// Writes `nibbles` hexadecimal digits of value, most significant first, at text[at].
void put_hex(char* text, int at, unsigned long long value, int nibbles)
{
    for (int i = nibbles - 1; i >= 0; --i, value >>= 4)
        text[at + i] = DIGITS[value & 0xF];
}

} // namespace

QV_guid::QV_guid(const GUID& value) : GUID(value)
{
    std::memcpy(narrow_, TEMPLATE, sizeof(TEMPLATE));
    put_hex(narrow_, 1, Data1, 8);
    put_hex(narrow_, 10, Data2, 4);
    put_hex(narrow_, 15, Data3, 4);
    put_hex(narrow_, 20, (unsigned(Data4[0]) << 8) | Data4[1], 4);
    for (int i = 0; i < 6; ++i)
        put_hex(narrow_, 25 + 2 * i, Data4[2 + i], 2);
    for (int i = 0; i < 39; ++i)
        wide_[i] = static_cast<wchar_t>(narrow_[i]);
}

QV_guid::~QV_guid() = default;
