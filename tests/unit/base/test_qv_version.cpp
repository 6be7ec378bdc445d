#include "base/qv_version.h"

#include "qv_child.h"
#include "qv_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring widen(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}

// A module loaded as data only, freed at the end of the test.
class Data_module {
public:
    explicit Data_module(const wchar_t* file_name)
        : module_(LoadLibraryExW(qv_sibling_path(file_name).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~Data_module()
    {
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

std::wstring value_of(const Data_module& module, const wchar_t* key)
{
    QV_string value = qv_get_version_string(module.get(), key);
    return value.is_null() ? L"<null>" : value.c_str();
}

TEST(QvVersion, ProgramCarriesTheProjectVersion)
{
    Data_module program(L"VlmKdShell.com");
    ASSERT_NE(nullptr, program.get());
    QV_string version = qv_get_file_version_string(program.get());
    ASSERT_FALSE(version.is_null());
    EXPECT_EQ(widen(QV_VERSION_TEXT), version.c_str());
    int numbers[4] = {-1, -1, -1, -1};
    ASSERT_TRUE(qv_parse_file_version(version.c_str(), &numbers[0], &numbers[1], &numbers[2], &numbers[3]));
    EXPECT_EQ(QV_VERSION_MAJOR, numbers[0]);
    EXPECT_EQ(QV_VERSION_MINOR, numbers[1]);
    EXPECT_EQ(QV_VERSION_PATCH, numbers[2]);
    EXPECT_EQ(QV_VERSION_BUILD, numbers[3]);
    EXPECT_EQ(L"Velmora Orrisguard", value_of(program, L"ProductName"));
}

TEST(QvVersion, NullModuleNamesTheRunningProgram)
{
    // The fixture prints what it reads through the null handle.
    QV_run_result run = qv_run_child(qv_quote_arg(qv_sibling_path(L"fixture_five_numbers.exe")));
    ASSERT_TRUE(run.started);
    EXPECT_EQ("7, 1, 3, 412, 9", run.out);
    // This test program has no version resource at all.
    EXPECT_TRUE(qv_get_file_version_string(nullptr).is_null());
}

TEST(QvVersion, KeysMatchExactlyInTheFirstTable)
{
    Data_module fixture(L"fixture_no_translation.exe");
    ASSERT_NE(nullptr, fixture.get());
    EXPECT_EQ(L"1, 2, 3, 4", value_of(fixture, L"FileVersion"));
    EXPECT_EQ(L"9, 9, 9, 9", value_of(fixture, L"fileversion"));
    EXPECT_EQ(L"Velmora", value_of(fixture, L"CompanyName"));
    EXPECT_EQ(L"", value_of(fixture, L"Comments"));
    EXPECT_EQ(L"<null>", value_of(fixture, L"ProductName"));
    EXPECT_EQ(L"<null>", value_of(fixture, L"FileVersio"));
    EXPECT_TRUE(qv_get_version_string(fixture.get(), nullptr).is_null());
}

TEST(QvVersion, FifthNumberIsReadAsTextAndIgnoredByTheParser)
{
    Data_module fixture(L"fixture_five_numbers.exe");
    ASSERT_NE(nullptr, fixture.get());
    QV_string version = qv_get_file_version_string(fixture.get());
    ASSERT_FALSE(version.is_null());
    EXPECT_STREQ(L"7, 1, 3, 412, 9", version.c_str());
    int a = 0, b = 0, c = 0, d = 0;
    EXPECT_TRUE(qv_parse_file_version(version.c_str(), &a, &b, &c, &d));
    EXPECT_EQ(7, a);
    EXPECT_EQ(1, b);
    EXPECT_EQ(3, c);
    EXPECT_EQ(412, d);
}

TEST(QvVersion, EntryRunningPastItsTableGivesNull)
{
    Data_module fixture(L"fixture_bad_table.exe");
    ASSERT_NE(nullptr, fixture.get());
    EXPECT_EQ(L"Velmora", value_of(fixture, L"CompanyName"));  // the sound entry before it
    EXPECT_EQ(L"<null>", value_of(fixture, L"FileVersion"));
    QV_run_result run = qv_run_child(qv_quote_arg(qv_sibling_path(L"fixture_bad_table.exe")));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ("", run.out);
}

TEST(QvParseFileVersion, PatternOfFourNumbers)
{
    struct Case {
        const wchar_t* text;
        bool ok;
        int numbers[4];
    } cases[] = {
        {L"7, 1, 3, 412", true, {7, 1, 3, 412}},
        {L"7,1,3,412", true, {7, 1, 3, 412}},
        {L"7,  1,\t3, 412", true, {7, 1, 3, 412}},
        {L"-1, 0, 2147483647, 5", true, {-1, 0, 2147483647, 5}},
        {L"7.1.3.412", false, {}},
        {L"7, 1, 3", false, {}},
        {L"", false, {}},
        {L"v7, 1, 3, 412", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "text: " << std::string(c.text, c.text + wcslen(c.text)));
        int n[4] = {-99, -99, -99, -99};
        EXPECT_EQ(c.ok, qv_parse_file_version(c.text, &n[0], &n[1], &n[2], &n[3]));
        if (c.ok) {
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(c.numbers[i], n[i]);
        }
    }
}

TEST(QvParseFileVersion, NullArgumentsGiveFalse)
{
    int a = 0, b = 0, c = 0, d = 0;
    EXPECT_FALSE(qv_parse_file_version(nullptr, &a, &b, &c, &d));
    EXPECT_FALSE(qv_parse_file_version(L"1, 2, 3, 4", nullptr, &b, &c, &d));
    EXPECT_FALSE(qv_parse_file_version(L"1, 2, 3, 4", &a, &b, &c, nullptr));
}

// Builds version resources in memory, the way the resource compiler lays them out.
class Version_bytes {
public:
    size_t begin(const wchar_t* key, size_t value_length, uint16_t type)
    {
        size_t start = bytes_.size();
        word(0);
        word(static_cast<uint16_t>(value_length));
        word(type);
        text(key);
        pad();
        return start;
    }
    void end(size_t start) { set_word(start, bytes_.size() - start); }
    void text(const wchar_t* value)
    {
        for (const wchar_t* c = value; *c; ++c)
            word(*c);
        word(0);
    }
    void pad()
    {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
    }
    void zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void set_word(size_t at, size_t value)
    {
        bytes_[at] = static_cast<uint8_t>(value);
        bytes_[at + 1] = static_cast<uint8_t>(value >> 8);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    void word(uint16_t w)
    {
        bytes_.push_back(static_cast<uint8_t>(w));
        bytes_.push_back(static_cast<uint8_t>(w >> 8));
    }
    std::vector<uint8_t> bytes_;
};

struct Sample {
    std::vector<uint8_t> bytes;
    size_t info = 0, table = 0, company = 0, version = 0;
};

// Root, fixed information, StringFileInfo, one table with CompanyName and
// FileVersion, then VarFileInfo.
Sample sample_resource()
{
    Version_bytes v;
    Sample s;
    size_t root = v.begin(L"VS_VERSION_INFO", 52, 0);
    v.zeros(52);
    s.info = v.begin(L"StringFileInfo", 0, 1);
    s.table = v.begin(L"040904b0", 0, 1);
    s.company = v.begin(L"CompanyName", 8, 1);
    v.text(L"Velmora");
    v.pad();
    v.end(s.company);
    s.version = v.begin(L"FileVersion", 11, 1);
    v.text(L"1, 2, 3, 4");
    v.pad();
    v.end(s.version);
    v.end(s.table);
    v.end(s.info);
    size_t var = v.begin(L"VarFileInfo", 0, 1);
    v.end(var);
    v.end(root);
    s.bytes = v.bytes();
    return s;
}

// Copies bytes to the very end of a readable page followed by one that is not, so
// that any read past them faults.
class Fenced_copy {
public:
    explicit Fenced_copy(const std::vector<uint8_t>& bytes) : size_(bytes.size())
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_t page = info.dwPageSize;
        size_t readable = (size_ + page - 1) / page * page + page;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, readable + page, MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + readable, page, PAGE_NOACCESS, &old);
        data_ = base_ + readable - size_;
        if (size_)
            std::memcpy(data_, bytes.data(), size_);
    }
    ~Fenced_copy() { VirtualFree(base_, 0, MEM_RELEASE); }
    const void* data() const { return data_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    uint8_t* base_;
    uint8_t* data_;
};

std::wstring find_in(const std::vector<uint8_t>& bytes, const wchar_t* key)
{
    Fenced_copy copy(bytes);
    QV_string value = qv_find_version_value(copy.data(), copy.size(), key);
    return value.is_null() ? L"<null>" : value.c_str();
}

TEST(QvVersionWalk, SoundResourceReadsBothEntries)
{
    Sample s = sample_resource();
    EXPECT_EQ(L"Velmora", find_in(s.bytes, L"CompanyName"));
    EXPECT_EQ(L"1, 2, 3, 4", find_in(s.bytes, L"FileVersion"));
    EXPECT_EQ(L"<null>", find_in(s.bytes, L"Translation"));
}

TEST(QvVersionWalk, EveryTruncationGivesNullWithoutReadingPastTheEnd)
{
    Sample s = sample_resource();
    for (size_t size = 0; size < s.bytes.size(); ++size) {
        std::vector<uint8_t> cut(s.bytes.begin(), s.bytes.begin() + size);
        ASSERT_EQ(L"<null>", find_in(cut, L"FileVersion")) << "size " << size;
    }
    EXPECT_TRUE(qv_find_version_value(nullptr, 100, L"FileVersion").is_null());
}

TEST(QvVersionWalk, LengthsPointingPastTheirBlockGiveNull)
{
    Sample s = sample_resource();
    struct Case {
        const char* what;
        size_t at;
        size_t value;
        const wchar_t* key;
    } cases[] = {
        {"root longer than the resource", 0, s.bytes.size() + 4, L"CompanyName"},
        {"fixed information past the root", 2, 0xFFF0, L"CompanyName"},
        {"table longer than its string file information", s.table, 0x400, L"CompanyName"},
        {"string file information longer than the root", s.info, 0x800, L"CompanyName"},
        {"entry longer than its table", s.version, 0x200, L"FileVersion"},
        {"entry of length 0", s.company, 0, L"FileVersion"},
        {"entry shorter than its header", s.company, 4, L"FileVersion"},
        {"entry whose value lacks its terminator", s.company, 44, L"CompanyName"},
        {"entry whose key lacks its terminator", s.version, 10, L"FileVersion"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = s.bytes;
        bytes[c.at] = static_cast<uint8_t>(c.value);
        bytes[c.at + 1] = static_cast<uint8_t>(c.value >> 8);
        EXPECT_EQ(L"<null>", find_in(bytes, c.key)) << c.what;
    }
}

TEST(QvVersionWalk, FirstChildMustBeTheStringFileInformation)
{
    Sample s = sample_resource();
    std::vector<uint8_t> bytes = s.bytes;
    bytes[s.info + 6] = 'X';  // "XtringFileInfo"
    EXPECT_EQ(L"<null>", find_in(bytes, L"FileVersion"));
}

} // namespace
