#include "registry/qv_reg_dword_entry.h"
#include "registry/qv_reg_key_entry.h"
#include "registry/qv_reg_sz_entry.h"
#include "registry/qv_reg_value_reader.h"
#include "base/qv_os.h"

#include "qv_platform.h"
#include "registry_test_support.h"

#include <memory>

namespace {

const std::wstring SANDBOX = SANDBOX_KEY;
const std::wstring SUB = SANDBOX + L"\\Sub";

class RegEntries : public testing::Test {
protected:
    void SetUp() override
    {
        delete_tree(HKEY_LOCAL_MACHINE, SANDBOX_KEY);
        delete_tree(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\QvRegistryTests");
    }
    void TearDown() override { SetUp(); }
};

// Whether a key is volatile: the registry refuses a non-volatile child under it.
bool is_volatile_key(const std::wstring& path)
{
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (path + L"\\Probe").c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        RegCloseKey(key);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (path + L"\\Probe").c_str());
        return false;
    }
    return result == ERROR_CHILD_MUST_BE_VOLATILE;
}

TEST_F(RegEntries, DwordInstallCreatesKeyAndWritesFourBytes)
{
    QV_reg_dword_entry entry(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Answer", 0xFFFFFFFFu, 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(ERROR_SUCCESS, entry.install());
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, SUB.c_str(), L"Answer", 0xFFFFFFFFu));
    EXPECT_FALSE(is_volatile_key(SUB));

    entry.value = 7;
    EXPECT_EQ(ERROR_SUCCESS, entry.install());
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, SUB.c_str(), L"Answer", 7));
    EXPECT_EQ(ERROR_SUCCESS, entry.uninstall());
    EXPECT_FALSE(value_exists(HKEY_LOCAL_MACHINE, SUB.c_str(), L"Answer"));
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, SUB.c_str()));
}

TEST_F(RegEntries, UninstallOfWhatIsNotThereSucceeds)
{
    QV_reg_dword_entry dword(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Missing", 0, 0);
    QV_reg_sz_entry sz(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Missing", L"");
    QV_reg_key_entry key(0, HKEY_LOCAL_MACHINE, SUB.c_str(), 0);
    EXPECT_EQ(ERROR_SUCCESS, dword.uninstall());  // key missing
    EXPECT_EQ(ERROR_SUCCESS, sz.uninstall());
    EXPECT_EQ(ERROR_SUCCESS, key.uninstall());
    create_key(HKEY_LOCAL_MACHINE, SUB.c_str());
    EXPECT_EQ(ERROR_SUCCESS, dword.uninstall());  // key there, value missing
    EXPECT_EQ(ERROR_SUCCESS, sz.uninstall());
}

TEST_F(RegEntries, VolatileDwordEntryCreatesVolatileKeyAndNeverRemovesItsValue)
{
    QV_reg_dword_entry entry(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Flag", 1, 1);
    create_key(HKEY_LOCAL_MACHINE, SANDBOX_KEY);
    EXPECT_EQ(ERROR_SUCCESS, entry.install());
    EXPECT_TRUE(is_volatile_key(SUB));
    EXPECT_EQ(ERROR_SUCCESS, entry.uninstall());
    EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, SUB.c_str(), L"Flag", 1));
}

TEST_F(RegEntries, SzInstallStoresTheTerminator)
{
    QV_reg_sz_entry entry(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Text", L"a\u00e9\u4e2d");
    EXPECT_EQ(ERROR_SUCCESS, entry.install());
    Stored stored = read_value(HKEY_LOCAL_MACHINE, SUB.c_str(), L"Text");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ(std::wstring(L"a\u00e9\u4e2d", 4), stored.text());  // 8 bytes: three characters and NUL
    EXPECT_EQ(ERROR_SUCCESS, entry.uninstall());
    EXPECT_FALSE(value_exists(HKEY_LOCAL_MACHINE, SUB.c_str(), L"Text"));
}

TEST_F(RegEntries, KeyEntryVolatileOnlyWhenItCreatesTheKey)
{
    create_key(HKEY_LOCAL_MACHINE, SANDBOX_KEY);
    QV_reg_key_entry entry(0, HKEY_LOCAL_MACHINE, SUB.c_str(), 1);
    EXPECT_EQ(ERROR_SUCCESS, entry.install());
    EXPECT_TRUE(is_volatile_key(SUB));
    EXPECT_EQ(ERROR_SUCCESS, entry.uninstall());
    EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, SUB.c_str()));

    create_key(HKEY_LOCAL_MACHINE, SUB.c_str());  // an existing non-volatile key stays so
    EXPECT_EQ(ERROR_SUCCESS, entry.install());
    EXPECT_FALSE(is_volatile_key(SUB));
}

TEST_F(RegEntries, KeyWithSubkeysIsNotRemoved)
{
    create_key(HKEY_LOCAL_MACHINE, (SUB + L"\\Child").c_str());
    QV_reg_key_entry entry(0, HKEY_LOCAL_MACHINE, SUB.c_str(), 0);
    EXPECT_EQ(ERROR_ACCESS_DENIED, entry.uninstall());
    EXPECT_TRUE(qv_key_exists(HKEY_LOCAL_MACHINE, SUB.c_str()));
}

TEST_F(RegEntries, ThirtyTwoBitViewGoesToTheRedirectedKey)
{
    for (DWORD view : {1u, 2u}) {
        QV_reg_dword_entry entry(view, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Bits", 32, 0);
        EXPECT_EQ(ERROR_SUCCESS, entry.install());
        EXPECT_TRUE(dword_is(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\QvRegistryTests\\Sub", L"Bits", 32));
        EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, SUB.c_str()));
        EXPECT_TRUE(QV_reg_value_reader(view, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Bits").exists());
        EXPECT_FALSE(QV_reg_value_reader(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Bits").exists());
        QV_reg_key_entry key(view, HKEY_LOCAL_MACHINE, SUB.c_str(), 0);
        EXPECT_EQ(ERROR_SUCCESS, QV_reg_dword_entry(view, HKEY_LOCAL_MACHINE, SUB.c_str(), L"Bits", 0, 0).uninstall());
        EXPECT_EQ(ERROR_SUCCESS, key.uninstall());
        EXPECT_FALSE(qv_key_exists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\QvRegistryTests\\Sub"));
    }
}

TEST_F(RegEntries, KeyOperationsReportFailuresAndLeaveTheOwnerEmpty)
{
    QV_reg_key key(nullptr);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, QV_reg_entry::open_key(0, HKEY_LOCAL_MACHINE, SUB.c_str(), key, true));
    EXPECT_FALSE(key);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, QV_reg_entry::delete_key(0, HKEY_LOCAL_MACHINE, SUB.c_str()));
    EXPECT_EQ(ERROR_SUCCESS, QV_reg_entry::create_key(0, HKEY_LOCAL_MACHINE, SUB.c_str(), key, 0));
    EXPECT_TRUE(key);
    // Read-only handles cannot write.
    EXPECT_EQ(ERROR_SUCCESS, QV_reg_entry::open_key(0, HKEY_LOCAL_MACHINE, SUB.c_str(), key, true));
    DWORD one = 1;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(key.get(), L"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4));
    EXPECT_EQ(ERROR_SUCCESS, QV_reg_entry::open_key(0, HKEY_LOCAL_MACHINE, SUB.c_str(), key, false));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), L"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4));
    key.reset();
    EXPECT_EQ(ERROR_SUCCESS, QV_reg_entry::delete_key(0, HKEY_LOCAL_MACHINE, SUB.c_str()));
}

TEST(RegEntryNames, RootsInTraceLines)
{
    EXPECT_STREQ(L"HKEY_CLASSES_ROOT", QV_reg_entry::root_name(HKEY_CLASSES_ROOT));
    EXPECT_STREQ(L"HKEY_CURRENT_USER", QV_reg_entry::root_name(HKEY_CURRENT_USER));
    EXPECT_STREQ(L"HKEY_LOCAL_MACHINE", QV_reg_entry::root_name(HKEY_LOCAL_MACHINE));
    EXPECT_STREQ(L"(Handle)", QV_reg_entry::root_name(HKEY_USERS));
}

TEST(RegEntryClone, CopiesEveryFieldIntoAnIndependentEntry)
{
    QV_reg_dword_entry dword(1, HKEY_USERS, L"k", L"v", 5, 1);
    std::unique_ptr<QV_reg_entry> copy(dword.clone());
    auto* d = dynamic_cast<QV_reg_dword_entry*>(copy.get());
    ASSERT_NE(nullptr, d);
    dword.key_path = L"changed";
    EXPECT_EQ(1u, d->view);
    EXPECT_EQ(HKEY_USERS, d->root);
    EXPECT_STREQ(L"k", d->key_path.c_str());
    EXPECT_STREQ(L"v", d->value_name.c_str());
    EXPECT_EQ(5u, d->value);
    EXPECT_EQ(1u, d->is_volatile);

    std::unique_ptr<QV_reg_entry> sz(QV_reg_sz_entry(0, HKEY_LOCAL_MACHINE, L"k", L"v", L"data").clone());
    auto* s = dynamic_cast<QV_reg_sz_entry*>(sz.get());
    ASSERT_NE(nullptr, s);
    EXPECT_STREQ(L"data", s->data.c_str());
    std::unique_ptr<QV_reg_entry> key(QV_reg_key_entry(2, HKEY_LOCAL_MACHINE, L"k", 1).clone());
    auto* k = dynamic_cast<QV_reg_key_entry*>(key.get());
    ASSERT_NE(nullptr, k);
    EXPECT_EQ(2u, k->view);
    EXPECT_EQ(1u, k->is_volatile);
}

// ---- reader ----

class RegValueReader : public RegEntries {
protected:
    QV_string text_of(const wchar_t* name) const
    {
        return QV_reg_value_reader(0, HKEY_LOCAL_MACHINE, SUB.c_str(), name).get_text();
    }
    void put(const wchar_t* name, DWORD type, const void* data, DWORD size) const
    {
        write_value(HKEY_LOCAL_MACHINE, SUB.c_str(), name, type, data, size);
    }
};

TEST_F(RegValueReader, TextOfEachType)
{
    write_sz(HKEY_LOCAL_MACHINE, SUB.c_str(), L"sz", L"plain text");
    write_sz(HKEY_LOCAL_MACHINE, SUB.c_str(), L"expand", L"%SystemRoot%\\x", REG_EXPAND_SZ);
    std::wstring list = multi_sz({L"a", L"b"});
    put(L"multi", REG_MULTI_SZ, list.data(), static_cast<DWORD>(list.size() * 2));
    write_dword(HKEY_LOCAL_MACHINE, SUB.c_str(), L"zero", 0);
    write_dword(HKEY_LOCAL_MACHINE, SUB.c_str(), L"max", 0xFFFFFFFFu);
    ULONGLONG q = 5;
    put(L"qword", REG_QWORD, &q, sizeof(q));
    put(L"none", REG_NONE, "ab", 2);
    put(L"binary", REG_BINARY, "ab", 2);

    EXPECT_STREQ(L"plain text", text_of(L"sz").c_str());
    EXPECT_STREQ(L"%SystemRoot%\\x", text_of(L"expand").c_str());
    EXPECT_STREQ(L"a;b;;", text_of(L"multi").c_str());
    EXPECT_STREQ(L"0", text_of(L"zero").c_str());
    EXPECT_STREQ(L"4294967295", text_of(L"max").c_str());
    for (const wchar_t* empty : {L"qword", L"none", L"binary", L"missing"}) {
        SCOPED_TRACE(testing::Message() << "value " << static_cast<const void*>(empty));
        QV_string text = text_of(empty);
        ASSERT_NE(nullptr, text.c_str());
        EXPECT_STREQ(L"", text.c_str());
    }
    EXPECT_TRUE(QV_reg_value_reader(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"none").exists());
    EXPECT_FALSE(QV_reg_value_reader(0, HKEY_LOCAL_MACHINE, SUB.c_str(), L"missing").exists());
    EXPECT_FALSE(QV_reg_value_reader(0, HKEY_LOCAL_MACHINE, (SUB + L"\\Nope").c_str(), L"sz").exists());
    EXPECT_STREQ(L"", QV_reg_value_reader(0, HKEY_LOCAL_MACHINE, (SUB + L"\\Nope").c_str(), L"sz").get_text().c_str());
}

TEST_F(RegValueReader, MalformedDataReadsSafely)
{
    // Strings stored without their terminator, with an odd byte count, and DWORDs of
    // the wrong size come from other writers; none may be read past its data.
    put(L"unterminated", REG_SZ, L"abcd", 8);
    put(L"odd", REG_SZ, "a\0b", 3);
    put(L"short_dword", REG_DWORD, "\x01\x00", 2);
    put(L"long_dword", REG_DWORD, "\x01\x00\x00\x00\x00\x00\x00\x00", 8);
    put(L"multi_unterminated", REG_MULTI_SZ, L"xy", 4);
    put(L"empty_sz", REG_SZ, "", 0);
    EXPECT_STREQ(L"abcd", text_of(L"unterminated").c_str());
    EXPECT_STREQ(L"ab", text_of(L"odd").c_str());
    EXPECT_STREQ(L"", text_of(L"short_dword").c_str());
    EXPECT_STREQ(L"", text_of(L"long_dword").c_str());
    // Windows reports the four stored bytes ("xy"); Wine adds a terminator to the data
    // it hands back for string types, which shows as one ";".
    EXPECT_STREQ(qv_windows_or_wine(L"xy", L"xy;"), text_of(L"multi_unterminated").c_str());
    EXPECT_STREQ(L"", text_of(L"empty_sz").c_str());
}

// Another writer lengthens the value between the size query and the read: the read
// answers ERROR_MORE_DATA and the reader asks again with the new size.
struct Growing_value {
    static inline int reads = 0;         // queries that asked for data
    static inline int grow_on_reads = 0; // how many of the first reads lengthen the value first
    static LONG WINAPI query(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
    {
        if (data != nullptr && ++reads <= grow_on_reads) {
            std::wstring longer(static_cast<size_t>(reads) * 300, static_cast<wchar_t>(L'a' + reads));
            RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(longer.c_str()),
                           static_cast<DWORD>((longer.size() + 1) * sizeof(wchar_t)));
        }
        return RegQueryValueExW(key, name, reserved, type, data, size);
    }
};

TEST_F(RegValueReader, ValueThatGrowsWhileReadIsAskedForAgain)
{
    struct Case {
        int grow_on_reads;
        std::wstring expected;
        int reads;
    } cases[] = {
        {0, L"short", 1},
        {1, std::wstring(300, L'b'), 2},
        {3, std::wstring(900, L'd'), 4},
        {1000, L"", 16},  // never settles: the reader gives up with the empty text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "grown on " << c.grow_on_reads << " reads");
        write_sz(HKEY_LOCAL_MACHINE, SUB.c_str(), L"grows", L"short");
        Growing_value::reads = 0;
        Growing_value::grow_on_reads = c.grow_on_reads;
        qv_reg_query_value = Growing_value::query;
        QV_string text = text_of(L"grows");
        qv_reg_query_value = qv_reg_query_value_ex;
        EXPECT_EQ(c.expected, std::wstring(text.c_str()));
        EXPECT_EQ(c.reads, Growing_value::reads);
    }
}

TEST_F(RegValueReader, LongValuesReadWhole)
{
    std::wstring big(40000, L'z');
    write_sz(HKEY_LOCAL_MACHINE, SUB.c_str(), L"big", big);
    EXPECT_EQ(big, std::wstring(text_of(L"big").c_str()));
}

} // namespace
