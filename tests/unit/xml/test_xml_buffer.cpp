#include "xml/qvxml_buffer.h"
#include "xml/qvxml_entities.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(XmlBuffer, NewBufferHoldsOneStepOfEmptyText)
{
    QVXML_buffer plain;
    EXPECT_EQ(64, plain.capacity);
    EXPECT_EQ(64, plain.step);
    EXPECT_STREQ(L"", plain.data);
    QVXML_buffer wide(1024);
    EXPECT_EQ(1024, wide.capacity);
}

TEST(XmlBuffer, GrowsToWholeStepsAboveTheNeed)
{
    // n: characters asked for; capacity afterwards with a step of 64.
    const struct { size_t n; int32_t capacity; } cases[] = {
        {0, 64}, {64, 64}, {65, 128}, {127, 128}, {128, 192}, {1000, 1024}, {1024, 1088},
    };
    for (const auto& c : cases) {
        QVXML_buffer buffer;
        buffer.grow(c.n);
        EXPECT_EQ(c.capacity, buffer.capacity) << "n = " << c.n;
    }
}

TEST(XmlBuffer, GrowingKeepsTheTextAndRefusesSizesBeyondThirtyTwoBits)
{
    QVXML_buffer buffer;
    buffer.assign(L"abc");
    buffer.grow(5000);
    EXPECT_STREQ(L"abc", buffer.c_str());
    EXPECT_THROW(buffer.grow(0x7FFFFFFF), std::bad_alloc);
    EXPECT_STREQ(L"abc", buffer.c_str());
}

TEST(XmlBuffer, AssignAppendAndLength)
{
    QVXML_buffer buffer;
    buffer.append(L"ab");
    buffer.append(L'c');
    buffer.append(std::wstring(100, L'x').c_str());
    EXPECT_EQ(103u, buffer.length());
    EXPECT_EQ(128, buffer.capacity);
    buffer.assign(nullptr);
    EXPECT_STREQ(L"", buffer.c_str());
    EXPECT_EQ(64, buffer.capacity);  // made anew
    buffer.assign(L"xyz");
    EXPECT_EQ(3u, buffer.length());
}

TEST(XmlBuffer, SubstringClampsStartAndCount)
{
    QVXML_buffer text;
    text.assign(L"abcdef");
    const struct { size_t start, count; const wchar_t* expected; } cases[] = {
        {0, 3, L"abc"}, {2, 100, L"cdef"}, {6, 1, L""}, {50, 2, L""}, {1, size_t(-1), L"bcdef"},
    };
    for (const auto& c : cases) {
        QVXML_buffer out;
        text.substring(out, c.start, c.count);
        EXPECT_STREQ(c.expected, out.c_str()) << c.start << "," << c.count;
    }
    text.substring(text, 1, 2);  // into itself
    EXPECT_STREQ(L"bc", text.c_str());
}

TEST(XmlBuffer, TrimsOnlyTheFinalRunOfWhiteSpace)
{
    QVXML_buffer text;
    text.assign(L" a b \t\r\n\x3000");
    text.trim_right();
    EXPECT_STREQ(L" a b", text.c_str());
    EXPECT_EQ(4u, text.length());
}

TEST(XmlBuffer, ComparisonIgnoresOnlyAsciiCase)
{
    QVXML_buffer text;
    text.assign(L"Name\xC9");
    EXPECT_TRUE(text.equals_no_case(L"nAME\xC9"));
    EXPECT_FALSE(text.equals_no_case(L"name\xE9"));  // only A to Z fold
    EXPECT_FALSE(text.equals_no_case(L"Nam"));
    EXPECT_LT(qvxml_compare_no_case(L"a", L"B"), 0);
    EXPECT_TRUE(qvxml_equals_no_case(L"?XML", L"?xml/", 4));
    EXPECT_FALSE(qvxml_equals_no_case(L"?xmlx", L"?xml", 4));
}

std::wstring decoded(const wchar_t* input)
{
    QVXML_buffer text;
    text.assign(input);
    decode_entities(text);
    return text.c_str();
}

std::wstring escaped(const wchar_t* input)
{
    QVXML_buffer text;
    text.assign(input);
    escape_entities(text);
    return text.c_str();
}

TEST(XmlEntities, Decoding)
{
    const struct { const wchar_t* in; const wchar_t* out; } cases[] = {
        {L"a &lt;b&gt; &amp; &#65;&#x41; &QUOT;", L"a <b> & A \""},
        {L"Tom & Jerry; ok", L"Tom  ok"},
        {L"Tom & Jerry", L"Tom & Jerry"},
        {L"&apos;&Amp;&gT;", L"'&>"},
        {L"&# 66;&#+67;&#68xyz;", L"BCD"},       // read as _wtoi reads
        {L"&#0;&#-65;&#;", L""},                 // nothing inserted
        {L"&#128512;", L"\xD83D\xDE00"},         // a surrogate pair
        {L"&#65536;&#1114111;", L"\xD800\xDC00\xDBFF\xDFFF"},
        {L"x&#1114112;&#55296;&#57343;&#99999999999999999999;y", L"xy"},
        {L"&#65535;", L"\xFFFF"},
        {L"&&amp;;", L";"},                      // the name runs to the first ";"
        {L"no references", L"no references"},
        {L"end &amp;", L"end &"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.out), decoded(c.in)) << c.in;
}

TEST(XmlEntities, Escaping)
{
    EXPECT_EQ(L"&quot;&amp;&#39;&lt;&gt;", escaped(L"\"&'<>"));
    EXPECT_EQ(L"it&#39;s a &lt;b&gt;", escaped(L"it's a <b>"));
    EXPECT_EQ(L"", escaped(L""));
}

TEST(XmlEntities, UnchangedTextKeepsItsStorage)
{
    QVXML_buffer text;
    text.assign(L"plain text");
    wchar_t* before = text.data;
    escape_entities(text);
    decode_entities(text);
    EXPECT_EQ(before, text.data);
    EXPECT_STREQ(L"plain text", text.c_str());
}

TEST(XmlEntities, LongInputDecodesWhole)
{
    std::wstring input;
    for (int i = 0; i < 2000; ++i)
        input += L"&lt;x";
    std::wstring expected;
    for (int i = 0; i < 2000; ++i)
        expected += L"<x";
    EXPECT_EQ(expected, decoded(input.c_str()));
    EXPECT_EQ(input, escaped(expected.c_str()));
}

} // namespace
