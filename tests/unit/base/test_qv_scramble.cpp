#include "base/qv_scramble.h"

#include "qv_descramble.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// A scrambled BSTR, freed at the end of the test.
struct Scrambled {
    HRESULT status = E_FAIL;
    BSTR text = nullptr;
    explicit Scrambled(const std::wstring& plain) { status = qv_scramble_request_text(plain.c_str(), &text); }
    ~Scrambled() { SysFreeString(text); }
};

TEST(QvScramble, KnownAnswers)
{
    // 'A' ^ 0xE5A1 = 0xE5E0, swapped 0xE0E5: low bits 0x60E5 + 0x4000, top bit in
    // the group character; 'B' chains on 0xE0E5.
    Scrambled one(L"A");
    ASSERT_EQ(S_OK, one.status);
    EXPECT_EQ((std::wstring{0xA0E5, 0x4001}), std::wstring(one.text));
    Scrambled two(L"AB");
    ASSERT_EQ(S_OK, two.status);
    EXPECT_EQ((std::wstring{0xA0E5, 0x67E0, 0x4003}), std::wstring(two.text));
}

TEST(QvScramble, LengthsAndAllocation)
{
    struct Case {
        size_t n;
        size_t m;
    } cases[] = {{0, 0}, {1, 2}, {14, 15}, {15, 16}, {16, 18}, {30, 32}, {31, 34}, {1000, 1067}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "n = " << c.n);
        Scrambled s(std::wstring(c.n, L'x'));
        ASSERT_EQ(S_OK, s.status);
        ASSERT_NE(nullptr, s.text);
        // The recorded length includes the terminating zero.
        EXPECT_EQ(2 * (c.m + 1), SysStringByteLen(s.text));
        EXPECT_EQ(c.m, wcslen(s.text));
        EXPECT_EQ(L'\0', s.text[c.m]);
    }
}

TEST(QvScramble, SizesAreComputedWithoutOverflow)
{
    uint64_t m = 0xdeadbeef;
    UINT bytes = 0xdeadbeef;
    ASSERT_TRUE(qv_scrambled_size(0, &m, &bytes));
    EXPECT_EQ(0u, m);
    EXPECT_EQ(2u, bytes);
    // The longest text whose result fits a BSTR, and the first that does not.
    const uint64_t longest = 1006632958;  // m = 1073741822, 2(m + 1) = 0x7FFFFFFE
    ASSERT_TRUE(qv_scrambled_size(longest, &m, &bytes));
    EXPECT_EQ(1073741822u, m);
    EXPECT_EQ(0x7FFFFFFEu, bytes);
    m = 7;
    EXPECT_FALSE(qv_scrambled_size(longest + 1, &m, &bytes));
    EXPECT_EQ(7u, m);
    EXPECT_FALSE(qv_scrambled_size(0x7FFFFFFFull, &m, &bytes));     // 32-bit 16n would wrap
    EXPECT_FALSE(qv_scrambled_size(0x1000000000000000ull, &m, &bytes));
    EXPECT_FALSE(qv_scrambled_size(UINT64_MAX, &m, &bytes));
}

TEST(QvScramble, NullArgumentsAreRejected)
{
    BSTR out = reinterpret_cast<BSTR>(0x1234);
    EXPECT_EQ(E_INVALIDARG, qv_scramble_request_text(nullptr, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_INVALIDARG, qv_scramble_request_text(L"text", nullptr));
    EXPECT_EQ(E_INVALIDARG, qv_scramble_request_text(nullptr, nullptr));
}

// Every character stays in 0x4000..0xBFFF (no zero, no surrogate), and the
// descrambler gives the text back; random texts of random lengths over the whole
// range of code units, with a fixed seed.
void expect_round_trip(const std::wstring& plain)
{
    Scrambled s(plain);
    ASSERT_EQ(S_OK, s.status);
    size_t m = plain.size() + (plain.size() + 14) / 15;
    for (size_t i = 0; i < m; ++i) {
        wchar_t c = s.text[i];
        ASSERT_TRUE(c >= 0x4000 && c <= 0xBFFF) << "character " << i << " of " << m << ": " << unsigned(c);
    }
    ASSERT_EQ(L'\0', s.text[m]);
    std::wstring back;
    ASSERT_TRUE(qv_descramble_request_text(s.text, &back));
    ASSERT_TRUE(back == plain) << "length " << plain.size();
}

TEST(QvScramble, RoundTripOfRandomTexts)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> unit(1, 0xFFFF);
    std::uniform_int_distribution<size_t> length(0, 400);
    for (int round = 0; round < 4000; ++round) {
        std::wstring plain(round < 10 ? round * 997 : length(random), L'\0');
        for (wchar_t& c : plain)
            c = static_cast<wchar_t>(unit(random));
        expect_round_trip(plain);
        if (HasFatalFailure())
            return;
    }
}

TEST(QvScramble, RoundTripOfEveryCodeUnit)
{
    std::wstring every;
    for (unsigned c = 1; c <= 0xFFFF; ++c)
        every += static_cast<wchar_t>(c);
    expect_round_trip(every);
    std::wstring reversed(every.rbegin(), every.rend());
    expect_round_trip(reversed);
}

TEST(QvScramble, ChangeReachesEveryLaterCharacter)
{
    std::wstring a(40, L'a');
    std::wstring b = a;
    b[17] = L'b';
    Scrambled sa(a), sb(b);
    ASSERT_EQ(S_OK, sa.status);
    ASSERT_EQ(S_OK, sb.status);
    // Characters carry their low 15 bits in place; the group characters hold
    // the top bits, so compare the first n characters with both groups' bits.
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned top = i / 15;
        bool same = sa.text[i] == sb.text[i] && ((sa.text[40 + top] ^ sb.text[40 + top]) >> (i % 15) & 1) == 0;
        EXPECT_EQ(i < 17, same) << "character " << i;
    }
}

TEST(QvDescramble, RefusesWhatNoScramblerMakes)
{
    std::wstring out = L"kept";
    EXPECT_FALSE(qv_descramble_request_text(L"\x4001", &out));               // length 1 is 16q + 1
    EXPECT_FALSE(qv_descramble_request_text(L"\x3FFF\x4000", &out));         // out of range
    EXPECT_FALSE(qv_descramble_request_text(L"\xA0E5\x4003", &out));         // bit beyond a group of 1
    EXPECT_FALSE(qv_descramble_request_text(static_cast<const wchar_t*>(nullptr), &out));
    EXPECT_EQ(L"kept", out);
    EXPECT_TRUE(qv_descramble_request_text(L"\xA0E5\x4001", &out));
    EXPECT_EQ(L"A", out);
    EXPECT_TRUE(qv_descramble_request_text(L"", &out));
    EXPECT_EQ(L"", out);
}

} // namespace
