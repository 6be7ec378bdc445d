#include "base/qv_guid.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstring>

namespace {

TEST(QvGuid, RegistryFormUpperCase)
{
    struct Case {
        GUID value;
        const wchar_t* text;
    };
    const Case cases[] = {
        {{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}, L"{00000000-0000-0000-0000-000000000000}"},
        {{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
         L"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
        {{0x7E40A9C5, 0x62D1, 0x4f3b, {0x8C, 0x17, 0xB9, 0x5E, 0x03, 0xD2, 0xA6, 0x4C}},
         L"{7E40A9C5-62D1-4F3B-8C17-B95E03D2A64C}"},
        // Every nibble distinct and in its own place: catches swapped nibbles or bytes.
        {{0x01234567, 0x89AB, 0xCDEF, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}},
         L"{01234567-89AB-CDEF-1032-547698BADCFE}"},
        {{0x0000000A, 0x000B, 0x000C, {0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E}},
         L"{0000000A-000B-000C-000D-00000000000E}"},
    };
    for (const Case& c : cases) {
        QV_guid guid(c.value);
        EXPECT_STREQ(c.text, guid.text());
        EXPECT_EQ(0, std::memcmp(&c.value, static_cast<const GUID*>(&guid), sizeof(GUID)));
    }
}

TEST(QvGuid, TextAgreesWithSystemFormatter)
{
    GUID value;
    ASSERT_EQ(S_OK, CoCreateGuid(&value));
    wchar_t system_text[40] = {};
    ASSERT_EQ(39, StringFromGUID2(value, system_text, 40));
    EXPECT_STREQ(system_text, QV_guid(value).text());
}

} // namespace
