#include "base/qv_scramble.h"

#include "qv_descramble.h"

#include <gtest/gtest.h>

#include <iterator>
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

// 250 characters: two whole blocks of the eight-at-a-time path and ten more on
// the one-at-a-time path. Input unit i is (40503 i + 0x1234) mod 65536, 1 for 0.
// The expected output was computed once from the written algorithm (chaining from
// 0xE5A1, then packing the top bits per group of 15) and is kept here verbatim.
const wchar_t KNOWN_250[] = {
    0x55F7, 0x5C25, 0x47D2, 0x4B6B, 0xBB80, 0x8752, 0x6C00, 0x7549, 0x65B6, 0x5507,
    0x9DD5, 0x8483, 0x8B38, 0x8751, 0xA77E, 0x5330, 0x54E6, 0x7D07, 0x550F, 0x86C5,
    0x8528, 0x5F49, 0x6735, 0x50EE, 0x72F7, 0xA437, 0xBD47, 0x863F, 0x4726, 0x89F9,
    0x9FD5, 0x4865, 0xB1D1, 0x5A06, 0x448F, 0x7637, 0x8767, 0x8037, 0xA9CE, 0x9B45,
    0x4991, 0x52E0, 0x9A95, 0xA47F, 0x97A7, 0xB836, 0x60F8, 0x753E, 0x7A09, 0x72E0,
    0x524A, 0xA385, 0xA556, 0x8136, 0xB8B0, 0x75E8, 0x941B, 0xA898, 0x7282, 0xA3BA,
    0x6244, 0x4B67, 0xA168, 0x95E0, 0x544A, 0xA12A, 0x88BD, 0x6432, 0xA23C, 0x7B55,
    0xAB6E, 0x5B98, 0x748A, 0xA91B, 0x41A7, 0xB66D, 0xA5FC, 0x834D, 0x7B05, 0x685E,
    0x7AAB, 0x701B, 0x898F, 0x4697, 0x977A, 0x4D4D, 0xA335, 0x9035, 0x69A5, 0xB63A,
    0x7047, 0x46FF, 0x476B, 0x848B, 0xAD6E, 0xB325, 0xB195, 0x5EF4, 0x763D, 0x84F7,
    0x879B, 0xBC3A, 0x6460, 0x759E, 0x526D, 0x6EE4, 0x5E3A, 0x4B2D, 0x85DA, 0x852A,
    0xBC48, 0x8550, 0x540F, 0xB4FC, 0x8EF2, 0x5B6A, 0x8AD8, 0x4F2B, 0x6570, 0x7538,
    0x848E, 0x7D1E, 0xB4C5, 0xA462, 0x7AD0, 0x9FE9, 0x6F2E, 0x9320, 0x547E, 0x555F,
    0xBDFF, 0x6675, 0xA500, 0x87A1, 0x9F25, 0x50DE, 0x720F, 0x6C0F, 0x95F7, 0xA62F,
    0xA77E, 0x4151, 0xA7D5, 0x7895, 0x7129, 0xB21E, 0x4C3F, 0xB667, 0xA77C, 0x8B4F,
    0x618D, 0x6845, 0x592A, 0x7938, 0xB206, 0x47AF, 0x57FC, 0x530E, 0x68AB, 0xB67E,
    0xAA02, 0x8978, 0xBAF8, 0x81B5, 0x85AC, 0x4BCE, 0x50A2, 0x7758, 0x5451, 0x9290,
    0x6AF0, 0x41EA, 0x825E, 0x413F, 0x699A, 0x9790, 0x548F, 0x74E2, 0x50A0, 0x4922,
    0x8259, 0x8E2D, 0xA3C3, 0x8648, 0xB48F, 0xBC93, 0x797A, 0x5B1D, 0x4559, 0x5665,
    0xA3E9, 0x947E, 0x4A6F, 0x8453, 0x7133, 0x6A27, 0xB71E, 0x59A5, 0x5BE9, 0x5C15,
    0x79B1, 0x9272, 0xA83B, 0xAA6F, 0xA7CC, 0xB3A3, 0x9591, 0x7CD5, 0x71A2, 0x790C,
    0x9E62, 0xAB27, 0xA7FC, 0x4B52, 0xBC5F, 0x7A8E, 0x52AA, 0xB93C, 0x76B4, 0xB55D,
    0x65FC, 0x9382, 0xA416, 0x4B80, 0x9489, 0x42F4, 0x76BC, 0x856A, 0x9ABE, 0x99C3,
    0x9DEE, 0x7B88, 0x444F, 0x4C96, 0xACBC, 0x4DA2, 0x8AE1, 0xBEC1, 0x57D7, 0x9A50,
    0x543F, 0x8497, 0x6566, 0x4FE5, 0x85D1, 0x4639, 0x771D, 0x988E, 0xB20F, 0x7C07,
    0x63A7, 0x4AC2, 0xBC58, 0x4F9C, 0x410D, 0x9B8B, 0x41F3, 0xB021, 0x7B73, 0x5A9E,
    0xAE24, 0x7A94, 0xAB51, 0x8DC4, 0x8206, 0x7290, 0x4307,
};

std::wstring known_250_input()
{
    std::wstring in(250, L'\0');
    for (size_t i = 0; i < in.size(); ++i) {
        unsigned unit = (static_cast<unsigned>(i) * 40503u + 0x1234u) & 0xFFFFu;
        in[i] = static_cast<wchar_t>(unit != 0 ? unit : 1);
    }
    return in;
}

// Both kernels: the 16-character one (where the processor has it) takes the
// first 240 characters, the 8-character one otherwise takes the first 240 as two
// blocks; the rest goes one at a time.
TEST(QvScramble, KnownAnswerOfTwoHundredFiftyCharacters)
{
    static_assert(std::size(KNOWN_250) == 267, "m = 250 + 17");
    const std::wstring in = known_250_input();
    const std::wstring expected(KNOWN_250, std::size(KNOWN_250));
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "16-character kernel allowed" : "8-character kernel only");
        qv_scramble_wide_kernel = wide;
        std::vector<wchar_t> out(std::size(KNOWN_250) + 1, L'\xFFFF');  // the last is a guard
        qv_scramble_into(in.c_str(), in.size(), out.data());
        EXPECT_EQ(expected, std::wstring(out.data(), std::size(KNOWN_250)));
        EXPECT_EQ(L'\xFFFF', out.back());
        Scrambled whole(in);
        ASSERT_EQ(S_OK, whole.status);
        EXPECT_EQ(expected, std::wstring(whole.text));
    }
    qv_scramble_wide_kernel = true;
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
