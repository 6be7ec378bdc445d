#include "cab/qv_cab_callbacks.h"
#include "cab_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

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
    ASSERT_TRUE(qv_write_file(path, "content"));
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
    ASSERT_TRUE(qv_write_file(path, "held at the open"));
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
    ASSERT_TRUE(qv_write_file(path, "x"));
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

// What the library writes (its scratch files, the cabinet opened by name) keeps
// other writers out while it is open; a source it reads lets them in, so tracing
// into it goes on. Readers are let in everywhere.
TEST_F(CabOpenInfo, OnlySourcesShareWrites)
{
    struct Case {
        const char* what;
        int flags;
        bool writers_let_in;
    } cases[] = {
        {"scratch file", _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, false},
        {"cabinet", _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, false},
        {"written only", _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, false},
        {"source", _O_RDONLY | _O_BINARY, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(path.c_str());
        if (!(c.flags & _O_CREAT)) {
            ASSERT_TRUE(qv_write_file(path, "source"));
        }
        int err = 0;
        INT_PTR fd = qv_cab_open(const_cast<char*>(narrow_path().c_str()), c.flags, _S_IREAD | _S_IWRITE, &err,
                                 nullptr);
        ASSERT_NE(-1, fd) << err;
        const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE writer = CreateFileW(path.c_str(), FILE_APPEND_DATA, all, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD error = GetLastError();
        EXPECT_EQ(c.writers_let_in, writer != INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        else
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
        HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, reader) << GetLastError();
        CloseHandle(reader);
        EXPECT_EQ(0, qv_cab_close(fd, &err, nullptr));
    }
}

// A source's descriptor closed behind the callbacks' back leaves its entry; a
// file the library writes under the same number must still read and seek whole.
TEST_F(CabOpenInfo, AStaleSourceNeverCapsALaterFileOfItsNumber)
{
    ASSERT_TRUE(qv_write_file(path, "sixteen bytes..."));
    std::string scratch = narrow_path() + ".scratch";
    std::string written(100, 'w');
    USHORT date = 0, time = 0, attributes = 0;
    int err = 0;
    INT_PTR source = qv_cab_open_info(const_cast<char*>(narrow_path().c_str()), &date, &time, &attributes, &err,
                                      nullptr);
    ASSERT_NE(-1, source);
    _close(static_cast<int>(source));
    INT_PTR fd = qv_cab_open(const_cast<char*>(scratch.c_str()), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY,
                             _S_IREAD | _S_IWRITE, &err, nullptr);
    ASSERT_EQ(source, fd) << "the runtime gave another number; the case is not reached";
    EXPECT_EQ(100u, qv_cab_write(fd, written.data(), 100, &err, nullptr));
    EXPECT_EQ(100, qv_cab_seek(fd, 0, SEEK_END, &err, nullptr));
    EXPECT_EQ(0, qv_cab_seek(fd, 0, SEEK_SET, &err, nullptr));
    std::string back(100, '\0');
    EXPECT_EQ(100u, qv_cab_read(fd, back.data(), 100, &err, nullptr));
    EXPECT_EQ(written, back);
    EXPECT_EQ(0, qv_cab_close(fd, &err, nullptr));
}

std::string utf16(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Reads a source to its end in small steps, so reads cross from the mark to the kept part.
std::string read_all(INT_PTR fd)
{
    std::string out;
    char buffer[5];
    int err = 0;
    for (UINT got; (got = qv_cab_read(fd, buffer, sizeof buffer, &err, nullptr)) > 0 && got != UINT(-1);)
        out.append(buffer, got);
    return out;
}

// A source larger than its room is read as its byte-order mark and its most
// recent part that fits, from a line start; the same bytes through reads and
// seeks. U+0A41 U+4100 holds the bytes 0A 00 at an odd offset: no line feed.
TEST_F(CabOpenInfo, ASourceLargerThanItsRoomKeepsItsMarkAndItsLastLinesThatFit)
{
    const std::string mark = "\xFF\xFE";
    const std::string l1 = utf16(L"alpha\r\n"), l2 = utf16(L"bravo \u0A41\u4100 charlie\n"), l3 = utf16(L"d\n"),
                      l4 = utf16(L"echo foxtrot golf\r\n");
    const std::string whole = mark + l1 + l2 + l3 + l4;
    struct Case {
        const char* what;
        std::string content;
        __int64 room;
        std::string kept;
    } cases[] = {
        {"fits", whole, static_cast<__int64>(whole.size()), whole},
        {"cut at a line start", whole, static_cast<__int64>(2 + l3.size() + l4.size()), mark + l3 + l4},
        {"one unit short of it", whole, static_cast<__int64>(l3.size() + l4.size()), mark + l4},
        {"inside the last line", whole, static_cast<__int64>(l4.size()), mark},
        {"past a misaligned 0A 00", whole, static_cast<__int64>(2 + l2.size() + l3.size() + l4.size() - 2),
         mark + l3 + l4},
        {"no mark: byte lines", "a\nbb\nccc\n", 5, "ccc\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(qv_write_file(path, c.content));
        USHORT date = 0, time = 0, attributes = 0;
        int err = 0;
        QV_cab_source_part part;
        INT_PTR fd = qv_cab_open_source(narrow_path().c_str(), &date, &time, &attributes, &err, c.room, &part);
        ASSERT_NE(-1, fd);
        EXPECT_EQ(static_cast<__int64>(c.kept.size()), part.kept);
        EXPECT_EQ(static_cast<__int64>(c.content.size() - c.kept.size()), part.left_out);
        EXPECT_EQ(c.kept, read_all(fd));
        EXPECT_EQ(static_cast<long>(c.kept.size()), qv_cab_seek(fd, 0, SEEK_END, &err, nullptr));
        EXPECT_EQ(1, qv_cab_seek(fd, 1, SEEK_SET, &err, nullptr));
        EXPECT_EQ(3, qv_cab_seek(fd, 2, SEEK_CUR, &err, nullptr));
        EXPECT_EQ(c.kept.substr(std::min<size_t>(3, c.kept.size())), read_all(fd));
        EXPECT_EQ(0, qv_cab_close(fd, &err, nullptr));
    }
}

}  // namespace
