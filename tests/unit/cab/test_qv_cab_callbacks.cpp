#include "cab/qv_cab_callbacks.h"
#include "cab_test_support.h"

#include <gtest/gtest.h>

#include <io.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

std::string next_name(const char* previous, int number, size_t size = CB_MAX_CABINET_NAME)
{
    char out[CB_MAX_CABINET_NAME + 8];
    memset(out, 'G', sizeof out);
    bool ok = qv_cab_next_name(previous, number, out, size);
    EXPECT_EQ('G', out[size]) << "written past the buffer";
    return ok ? std::string(out) : "FAILED:" + std::string(out);
}

TEST(CabNextName, NumbersFollowTheStemWithoutItsOwnNumber)
{
    EXPECT_EQ("trace001.cab", next_name("trace.cab", 1));
    EXPECT_EQ("trace002.cab", next_name("trace001.cab", 2));
    EXPECT_EQ("trace012.cab", next_name("trace007.cab", 12));
    EXPECT_EQ("tr002.cab", next_name("tr4ce7.cab", 2));       // cut at the first digit
    EXPECT_EQ("trace1x003.cab", next_name("trace1x.cab", 3)); // no trailing digit: kept
    EXPECT_EQ("trace1000.cab", next_name("trace.cab", 1000));
}

TEST(CabNextName, StemStartingWithADigitKeepsItsNumber)
{
    EXPECT_EQ("2024log7001.cab", next_name("2024log7.cab", 1));
    EXPECT_EQ("42002.cab", next_name("42.cab", 2));
}

TEST(CabNextName, SplitsAtTheLastDotAndSuppliesOneWhenMissing)
{
    EXPECT_EQ("a.b001.cab", next_name("a.b.cab", 1));
    EXPECT_EQ("trace001.", next_name("trace", 1));
    EXPECT_EQ("001.cab", next_name(".cab", 1));
}

TEST(CabNextName, ANameThatDoesNotFitFailsInsteadOfBeingCut)
{
    std::string stem(248, 's');
    EXPECT_EQ(stem + "001.cab", next_name((stem + ".cab").c_str(), 1));  // 255 characters: fits
    std::string longer(249, 's');
    EXPECT_EQ("FAILED:", next_name((longer + ".cab").c_str(), 1));
    EXPECT_EQ("FAILED:", next_name("trace.cab", 1, 12));
    EXPECT_EQ("trace001.cab", next_name("trace.cab", 1, 13));
}

TEST(CabNextCabinet, RenamesTheCcabOrLeavesItWhenTheNameDoesNotFit)
{
    CCAB ccab = {};
    strcpy(ccab.szCab, "trace.cab");
    ccab.iCab = 1;
    EXPECT_TRUE(qv_cab_next_cabinet(&ccab, 0, nullptr));
    EXPECT_STREQ("trace001.cab", ccab.szCab);

    std::string name(251, 'n');  // with "001" it would need 256 characters
    strcpy(ccab.szCab, (name + ".c").c_str());
    EXPECT_FALSE(qv_cab_next_cabinet(&ccab, 0, nullptr));
    EXPECT_STREQ((name + ".c").c_str(), ccab.szCab);
}

TEST(CabStatus, ConfirmsTheSizeAndNeverAborts)
{
    EXPECT_EQ(123456, qv_cab_status(statusCabinet, 0, 123456, nullptr));
    EXPECT_EQ(LONG_MAX, qv_cab_status(statusCabinet, 0, 0x80000000u, nullptr));
    EXPECT_EQ(LONG_MAX, qv_cab_status(statusFolder, 7, 0xFFFFFFFFu, nullptr));
    EXPECT_EQ(0, qv_cab_status(statusFile, 0xFFFFFFFFu, 0, nullptr));
}

TEST(CabTempFile, NamesAFileWithTheXxPrefixInTheTmpFolder)
{
    char tmp[MAX_PATH] = {};
    ASSERT_NE(0u, GetEnvironmentVariableA("TMP", tmp, MAX_PATH));
    char name[CB_MAX_FILENAME];
    ASSERT_TRUE(qv_cab_temp_file(name, sizeof name, nullptr));
    std::string folder = tmp;
    if (folder.back() != '\\')
        folder += '\\';
    EXPECT_EQ(0, _strnicmp(folder.c_str(), name, folder.size())) << name;
    EXPECT_EQ(0, strncmp(name + folder.size(), "xx", 2)) << name;

    char tiny[4] = "abc";
    EXPECT_FALSE(qv_cab_temp_file(tiny, sizeof tiny, nullptr));
}

class CabOpenInfo : public testing::Test {
protected:
    Sandbox box{L"open_info"};
    std::wstring path = box.file(L"source.txt");
    std::string narrow_path() const { return std::string(path.begin(), path.end()); }
};

// 2024-03-05 13:45:22 local time, as DOS date and time.
constexpr USHORT KNOWN_DATE = ((2024 - 1980) << 9) | (3 << 5) | 5;
constexpr USHORT KNOWN_TIME = (13 << 11) | (45 << 5) | (22 / 2);

TEST_F(CabOpenInfo, GivesLocalDosTimeAndOnlyTheFourKeptAttributes)
{
    ASSERT_TRUE(write_file(path, "content"));
    SYSTEMTIME local = {2024, 3, 0, 5, 13, 45, 23, 0};  // odd second: DOS time keeps two-second steps
    FILETIME local_ft, utc_ft;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &local_ft));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local_ft, &utc_ft));
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &utc_ft));
    CloseHandle(h);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));

    USHORT date = 0xBEEF, time = 0xBEEF, attributes = 0xBEEF;
    int err = 0;
    INT_PTR fd = qv_cab_open_info(const_cast<char*>(narrow_path().c_str()), &date, &time, &attributes, &err, nullptr);
    ASSERT_NE(-1, fd);
    EXPECT_EQ(KNOWN_DATE, date);
    EXPECT_EQ(KNOWN_TIME, time);
    EXPECT_EQ(0x27, attributes);
    char buffer[16] = {};
    EXPECT_EQ(7, _read(static_cast<int>(fd), buffer, sizeof buffer));
    EXPECT_STREQ("content", buffer);
    _close(static_cast<int>(fd));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A trace writer appends while the library reads: neither keeps the other out,
// and the library sees the bytes the file held at the open, through reads and
// seeks alike.
TEST_F(CabOpenInfo, SharesWithAWriterAndEndsWhereTheFileEndedAtTheOpen)
{
    ASSERT_TRUE(write_file(path, "held at the open"));
    USHORT date = 0, time = 0, attributes = 0;
    int err = 0;
    INT_PTR fd = qv_cab_open_info(const_cast<char*>(narrow_path().c_str()), &date, &time, &attributes, &err, nullptr);
    ASSERT_NE(-1, fd);
    HANDLE writer = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(writer, " and after it", 13, &written, nullptr));
    EXPECT_EQ(16, qv_cab_seek(fd, 0, SEEK_END, &err, nullptr));
    EXPECT_EQ(4, qv_cab_seek(fd, 4, SEEK_SET, &err, nullptr));
    char buffer[64] = {};
    EXPECT_EQ(12u, qv_cab_read(fd, buffer, sizeof buffer, &err, nullptr));
    EXPECT_STREQ(" at the open", buffer);
    EXPECT_EQ(0u, qv_cab_read(fd, buffer, sizeof buffer, &err, nullptr));
    EXPECT_EQ(0, qv_cab_close(fd, &err, nullptr));
    CloseHandle(writer);
}

TEST_F(CabOpenInfo, TakesAFileSomeoneIsWritingAndRefusesAnExclusiveOrMissingFile)
{
    ASSERT_TRUE(write_file(path, "x"));
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    USHORT date = 0, time = 0, attributes = 0;
    int err = 0;
    INT_PTR fd = qv_cab_open_info(const_cast<char*>(narrow_path().c_str()), &date, &time, &attributes, &err, nullptr);
    EXPECT_NE(-1, fd);
    EXPECT_TRUE(qv_cab_source_readable(narrow_path().c_str()));
    if (fd != -1)
        qv_cab_close(fd, &err, nullptr);
    CloseHandle(writer);

    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    EXPECT_EQ(-1, qv_cab_open_info(const_cast<char*>(narrow_path().c_str()), &date, &time, &attributes, &err, nullptr));
    EXPECT_FALSE(qv_cab_source_readable(narrow_path().c_str()));
    CloseHandle(exclusive);
    EXPECT_TRUE(qv_cab_source_readable(narrow_path().c_str()));

    std::string missing = narrow_path() + ".missing";
    EXPECT_EQ(-1, qv_cab_open_info(const_cast<char*>(missing.c_str()), &date, &time, &attributes, &err, nullptr));
    EXPECT_FALSE(qv_cab_source_readable(missing.c_str()));
}

}  // namespace
